// An HTTP server on a free loopback port, serving on a thread of its own
// from construction until destruction, for tests that go over the wire.
#ifndef LXM_TESTS_TEST_SUPPORT_TEST_SERVER_H_
#define LXM_TESTS_TEST_SUPPORT_TEST_SERVER_H_

#include <memory>
#include <string>
#include <thread>

#include "platform/runtime.h"
#include "server/http_server.h"
#include "server/type_library.h"

namespace lxm::test {

// Options for a server in front of one database: a free port, two workers,
// a one-second keep-alive, and that database the only one a call may name.
server::HttpServerOptions ServerOptionsFor(const std::string& connect_string);

class TestServer {
 public:
  // Binds (options.port 0 picks a free port) and starts serving. `runtime`
  // and `library` must outlive the server.
  TestServer(Runtime& runtime, const server::TypeLibrary& library,
             const server::HttpServerOptions& options);
  // Stop(), unless done already.
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  // Asks the server to stop and waits until Serve() has returned.
  void Stop();

 private:
  server::HttpServer server_;
  std::thread serving_;
  int port_ = 0;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_TEST_SERVER_H_
