// A bare HTTP server on Boost.Beast that answers every POST with the same
// bytes, read from a file: the whole response as the real host sent it
// (status line, headers, body). It does no work for a call, so its rate is
// the floor of what the host can reach with the same library, threads and
// limits. bench/http_load.sh runs it beside `lxmdataflow serve`.
//
//   bare_http_server --reply FILE [--port 0] [--io-threads 2] [--workers 0]
//
// Like the host: one io_context per I/O thread, TCP_NODELAY, keep-alive,
// 16 KiB of headers and 16 MiB of body at most. With --workers N > 0 each
// reply is handed to a pool of N threads and written from there, as a host
// that runs every call on a worker does; with 0 (the default) it goes out
// from the I/O thread that read the request.
//
// It prints "bare serving http://127.0.0.1:PORT" once it listens and runs
// until killed.
#include <utility>  // Boost 1.74's Asio uses std::exchange without it.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// The host's defaults.
constexpr uint32_t kMaxHeaderBytes = 16 * 1024;
constexpr uint64_t kMaxBodyBytes = uint64_t{16} << 20;
// The most bytes handed to one write system call, as in the host.
constexpr size_t kWriteChunk = size_t{8} << 20;

struct Options {
  std::string reply_file;
  std::string bind_address = "127.0.0.1";
  int port = 0;
  int io_threads = 2;
  int workers = 0;
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, const std::string& reply, net::thread_pool* workers)
      : socket_(std::move(socket)), reply_(reply), workers_(workers) {}

  void Read() {
    parser_.emplace();
    parser_->header_limit(kMaxHeaderBytes);
    parser_->body_limit(kMaxBodyBytes);
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
                       self->OnRead(ec);
                     });
  }

 private:
  void OnRead(beast::error_code ec) {
    if (ec) return Close();
    keep_alive_ = parser_->get().keep_alive();
    if (workers_ == nullptr) return Write();
    net::post(*workers_, [self = shared_from_this()] { self->Write(); });
  }

  // The captured reply keeps the connection open, so a client that asked
  // for a close gets the same bytes and the close.
  void Write() {
    // As the host: a reply of megabytes goes out in as few system calls as
    // the socket takes, not Asio's 64 KiB at a time.
    auto as_much_as_fits = [](const beast::error_code& ec, size_t) -> size_t {
      return ec ? 0 : kWriteChunk;
    };
    net::async_write(socket_, net::buffer(reply_), as_much_as_fits,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
                       if (ec || !self->keep_alive_) return self->Close();
                       self->Read();
                     });
  }

  void Close() {
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    socket_.close(ignored);
  }

  tcp::socket socket_;
  const std::string& reply_;
  net::thread_pool* workers_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  bool keep_alive_ = true;
};

class Server {
 public:
  Server(const Options& options, std::string reply)
      : reply_(std::move(reply)), acceptor_(AcceptorContext(options)) {
    if (options.workers > 0) workers_.emplace(static_cast<size_t>(options.workers));
    tcp::endpoint endpoint(net::ip::make_address(options.bind_address),
                           static_cast<unsigned short>(options.port));
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(net::socket_base::max_listen_connections);
  }

  int port() const { return acceptor_.local_endpoint().port(); }

  void Run() {
    // A context whose only work is the next accepted socket would return
    // from run() at once.
    std::vector<net::executor_work_guard<net::io_context::executor_type>> guards;
    for (auto& io : ios_) guards.push_back(net::make_work_guard(*io));
    Accept();
    std::vector<std::thread> threads;
    for (auto& io : ios_) threads.emplace_back([&io] { io->run(); });
    for (auto& thread : threads) thread.join();
  }

 private:
  net::io_context& AcceptorContext(const Options& options) {
    for (int i = 0; i < std::max(1, options.io_threads); ++i) {
      ios_.push_back(std::make_unique<net::io_context>(1));
    }
    return *ios_.front();
  }

  void Accept() {
    net::io_context& io = *ios_[next_io_];
    next_io_ = (next_io_ + 1) % ios_.size();
    acceptor_.async_accept(io, [this](beast::error_code ec, tcp::socket socket) {
      if (!ec) {
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Session>(std::move(socket), reply_,
                                  workers_ ? &*workers_ : nullptr)
            ->Read();
      }
      Accept();
    });
  }

  const std::string reply_;
  std::vector<std::unique_ptr<net::io_context>> ios_;
  size_t next_io_ = 0;
  tcp::acceptor acceptor_;
  std::optional<net::thread_pool> workers_;
};

[[noreturn]] void Usage() {
  std::cerr << "usage: bare_http_server --reply FILE [--bind ADDRESS] [--port N] "
               "[--io-threads N] [--workers N]\n";
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view flag = argv[i];
    if (i + 1 >= argc) Usage();
    const char* value = argv[++i];
    if (flag == "--reply") {
      options.reply_file = value;
    } else if (flag == "--bind") {
      options.bind_address = value;
    } else if (flag == "--port") {
      options.port = std::atoi(value);
    } else if (flag == "--io-threads") {
      options.io_threads = std::atoi(value);
    } else if (flag == "--workers") {
      options.workers = std::atoi(value);
    } else {
      Usage();
    }
  }
  if (options.reply_file.empty()) Usage();
  std::ifstream file(options.reply_file, std::ios::binary);
  if (!file) {
    std::cerr << "cannot read " << options.reply_file << "\n";
    return 1;
  }
  std::string reply((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  try {
    Server server(options, std::move(reply));
    std::printf("bare serving http://%s:%d\n", options.bind_address.c_str(), server.port());
    std::fflush(stdout);
    server.Run();
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
