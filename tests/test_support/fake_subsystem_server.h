// A stand-in for a subsystem's program that serves refresh callouts: a
// small HTTP server on a free loopback port that answers each POST, each
// connection on a thread of its own, with what a handler makes of its path
// and body, and remembers the bodies it was sent.
#ifndef LXM_TESTS_TEST_SUPPORT_FAKE_SUBSYSTEM_SERVER_H_
#define LXM_TESTS_TEST_SUPPORT_FAKE_SUBSYSTEM_SERVER_H_

// Boost 1.74's Asio uses std::exchange without including <utility> (GCC 12).
#include <utility>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>

namespace lxm::test {

class FakeSubsystemServer {
 public:
  struct Reply {
    int status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};  // before the reply is written
  };
  using Handler = std::function<Reply(const std::string& path, const std::string& body)>;

  explicit FakeSubsystemServer(Handler handler);
  // Waits for the replies still being written.
  ~FakeSubsystemServer();
  FakeSubsystemServer(const FakeSubsystemServer&) = delete;
  FakeSubsystemServer& operator=(const FakeSubsystemServer&) = delete;

  std::string Url(const std::string& path) const;
  std::vector<std::string> Bodies();

 private:
  void Run();
  void Serve(boost::asio::ip::tcp::socket socket);

  Handler handler_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  int port_ = 0;
  std::atomic<bool> stopping_ = false;
  std::mutex mutex_;
  std::vector<std::string> bodies_;  // GUARDED_BY(mutex_)
  std::thread thread_;
  std::vector<std::thread> workers_;  // only the accepting thread adds
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_FAKE_SUBSYSTEM_SERVER_H_
