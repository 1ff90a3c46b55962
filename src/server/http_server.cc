// Boost 1.74's Asio uses std::exchange without including <utility> (GCC 12).
#include <utility>

#include "server/http_server.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "platform/text_util.h"

namespace lxm::server {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

std::string_view Std(beast::string_view text) { return {text.data(), text.size()}; }

constexpr std::string_view kJsonType = "application/json; charset=utf-8";
// The most bytes asked of the socket at a time while idle.
constexpr size_t kReadChunk = 16 * 1024;
// The most bytes handed to one write system call.
constexpr size_t kWriteChunk = size_t{8} << 20;

// Compares every byte, so that the time taken does not tell how much of a
// guessed token was right (its length may show; that is no secret worth
// keeping).
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// The response head of a JSON reply, written by hand: every reply has the
// same few fields.
std::string ResponseHead(int status, size_t length, bool keep_alive, bool http10,
                         std::string_view extra_fields) {
  std::string head = "HTTP/1.1 ";
  head += std::to_string(status);
  head += ' ';
  head += Std(http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status))));
  head += "\r\nContent-Type: ";
  head += kJsonType;
  head += "\r\nContent-Length: ";
  head += std::to_string(length);
  head += "\r\n";
  if (!keep_alive) {
    head += "Connection: close\r\n";
  } else if (http10) {
    head += "Connection: keep-alive\r\n";
  }
  head += extra_fields;
  head += "\r\n";
  return head;
}

Reply NotFoundReply(std::string_view method, std::string_view path) {
  return HostErrorReply(404, "not_found",
                        "No such path: " + std::string(method) + " " + std::string(path) +
                            " (the service answers POST /rpc/{ProgID}/{Method}, GET "
                            "/rpc/{ProgID}, GET /rpc and GET /health).");
}

}  // namespace

struct HttpServer::Impl {
  class Session;

  Impl(Runtime& runtime, const TypeLibrary& library, HttpServerOptions server_options)
      : options(std::move(server_options)),
        dispatcher(runtime, library, options.dispatch),
        workers(static_cast<size_t>(options.workers > 0 ? options.workers : 1)),
        acceptor(io) {}

  bool Authorized(std::string_view header) const {
    if (options.token.empty()) return true;
    constexpr std::string_view kScheme = "Bearer ";
    if (header.size() < kScheme.size() || !EqualsIgnoreCase(header.substr(0, kScheme.size()), kScheme)) {
      return false;
    }
    return SameToken(TrimSpaces(header.substr(kScheme.size())), options.token);
  }

  void Accept();
  void Refuse(tcp::socket socket);
  // Called on the I/O side once Stop() was asked for.
  void CloseAll();

  void Register(Session* session, const std::shared_ptr<Session>& shared) {
    std::lock_guard<std::mutex> lock(mutex);
    sessions.emplace(session, shared);
  }
  void Unregister(Session* session) {
    std::lock_guard<std::mutex> lock(mutex);
    sessions.erase(session);
    if (sessions.empty()) changed.notify_all();
  }

  HttpServerOptions options;
  Dispatcher dispatcher;

  std::mutex mutex;
  std::condition_variable changed;  // stop asked for, or the last session gone
  bool stop_requested = false;      // GUARDED_BY(mutex)
  std::unordered_map<Session*, std::weak_ptr<Session>> sessions;  // GUARDED_BY(mutex)

  // Declared after what sessions use, so that they go first.
  net::thread_pool workers;
  net::io_context io;
  tcp::acceptor acceptor;
};

// One connection: reads a request, hands it to a worker or answers it here,
// writes the reply, and reads the next. Every handler runs on the
// connection's strand.
class HttpServer::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {}
  ~Session() { server_.Unregister(this); }

  void Start() {
    server_.Register(this, shared_from_this());
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadRequest(); });
  }

  beast::tcp_stream::executor_type executor() { return stream_.get_executor(); }

  // Stop() was asked for: close unless a reply is on its way.
  void OnStop() {
    stopping_ = true;
    if (!answering_) Close();
  }

 private:
  void ReadRequest() {
    if (stopping_) return Close();
    parser_.emplace();
    parser_->header_limit(static_cast<uint32_t>(server_.options.max_header_bytes));
    parser_->body_limit(server_.options.max_body_bytes);
    if (buffer_.size() > 0) return ReadHeader();  // pipelined
    // Idle until the first byte; the request's own deadline starts then.
    stream_.expires_after(std::chrono::seconds(server_.options.keep_alive_seconds));
    stream_.async_read_some(buffer_.prepare(kReadChunk),
                            [self = shared_from_this()](beast::error_code ec, size_t n) {
                              if (ec) return self->Close();
                              self->buffer_.commit(n);
                              self->ReadHeader();
                            });
  }

  void ReadHeader() {
    stream_.expires_after(std::chrono::seconds(server_.options.request_timeout_seconds));
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, size_t) {
                              self->OnHeader(ec);
                            });
  }

  void OnHeader(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    const auto& request = parser_->get();
    std::string_view target = Std(request.target());
    path_ = std::string(target.substr(0, target.find('?')));
    if (path_ != "/health" && !server_.Authorized(Std(request[http::field::authorization]))) {
      // A body is never read: the connection closes after the reply unless
      // the request had none.
      Reply reply = HostErrorReply(401, "unauthorized",
                                   "This server asks for \"Authorization: Bearer <token>\"; the "
                                   "request's is missing or wrong.");
      http10_ = request.version() == 10;
      return Write(std::move(reply), parser_->is_done() && request.keep_alive(),
                   "WWW-Authenticate: Bearer\r\n");
    }
    auto length = parser_->content_length();
    if (length && *length > server_.options.max_body_bytes) return WriteTooLarge();
    if (parser_->is_done()) return Handle();
    if (EqualsIgnoreCase(Std(request[http::field::expect]), "100-continue")) {
      answering_ = true;
      head_ = "HTTP/1.1 100 Continue\r\n\r\n";
      return net::async_write(stream_, net::buffer(head_),
                              [self = shared_from_this()](beast::error_code write_ec, size_t) {
                                self->answering_ = false;
                                if (write_ec) return self->Close();
                                self->ReadBody();
                              });
    }
    ReadBody();
  }

  void ReadBody() {
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
                       if (ec) return self->OnReadError(ec);
                       self->Handle();
                     });
  }

  void OnReadError(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == net::error::operation_aborted || ec == net::error::connection_reset ||
        ec == net::error::eof) {
      return Close();
    }
    if (ec == http::error::body_limit) return WriteTooLarge();
    if (ec == http::error::header_limit) {
      return Write(HostErrorReply(431, "headers_too_large",
                                  "The request's headers are larger than this server's limit of " +
                                      std::to_string(server_.options.max_header_bytes) +
                                      " bytes."),
                   false);
    }
    Write(HostErrorReply(400, "bad_request", "The request could not be read: " + ec.message() + "."),
          false);
  }

  void WriteTooLarge() {
    Write(HostErrorReply(413, "body_too_large",
                         "The request body is larger than this server's limit of " +
                             std::to_string(server_.options.max_body_bytes) + " bytes."),
          false);
  }

  // The whole request is in.
  void Handle() {
    auto& request = parser_->get();
    keep_alive_ = request.keep_alive();
    http10_ = request.version() == 10;
    const bool get = request.method() == http::verb::get;
    const bool post = request.method() == http::verb::post;
    std::string_view path = path_;
    if (get && path == "/health") return Write(Reply{200, R"({"status":"ok"})"}, keep_alive_);
    if (get && path == "/rpc") return Write(server_.dispatcher.ListClasses(), keep_alive_);
    constexpr std::string_view kPrefix = "/rpc/";
    if (path.substr(0, kPrefix.size()) == kPrefix) {
      std::string_view rest = path.substr(kPrefix.size());
      size_t slash = rest.find('/');
      if (get && slash == std::string_view::npos && !rest.empty()) {
        return Write(server_.dispatcher.Describe(rest), keep_alive_);
      }
      if (post && slash != std::string_view::npos && slash > 0 && slash + 1 < rest.size() &&
          rest.find('/', slash + 1) == std::string_view::npos) {
        return Call(std::string(rest.substr(0, slash)), std::string(rest.substr(slash + 1)),
                    std::move(request.body()));
      }
    }
    Write(NotFoundReply(Std(request.method_string()), path), keep_alive_);
  }

  void Call(std::string prog_id, std::string method, std::string body) {
    answering_ = true;
    // Keeps the I/O threads running until the reply is back on the strand.
    auto work = net::make_work_guard(stream_.get_executor());
    net::post(server_.workers, [self = shared_from_this(), work = std::move(work),
                                prog_id = std::move(prog_id), method = std::move(method),
                                body = std::move(body)]() mutable {
      Reply reply;
      try {
        reply = self->server_.dispatcher.Call(prog_id, method, body);
      } catch (const std::exception& e) {
        reply = HostErrorReply(500, "internal", e.what());
      }
      net::post(self->stream_.get_executor(),
                [self, reply = std::move(reply)]() mutable {
                  self->Write(std::move(reply), self->keep_alive_ && !self->stopping_);
                });
    });
  }

  void Write(Reply reply, bool keep_alive, std::string_view extra_fields = {}) {
    answering_ = true;
    keep_alive_ = keep_alive && !stopping_;
    reply_ = std::move(reply);
    size_t length = reply_.body.size();
    for (const auto& piece : reply_.pieces) length += piece->size();
    head_ = ResponseHead(reply_.status, length, keep_alive_, http10_, extra_fields);
    buffers_.clear();
    buffers_.push_back(net::buffer(head_));
    // Large shared levels go out from where they are kept.
    for (const auto& piece : reply_.pieces) buffers_.push_back(net::buffer(*piece));
    if (!reply_.body.empty()) buffers_.push_back(net::buffer(reply_.body));
    stream_.expires_after(std::chrono::seconds(server_.options.request_timeout_seconds));
    // Asio writes 64 KiB per system call unless told otherwise: a level of
    // megabytes goes out in as few writes as the socket takes.
    auto as_much_as_fits = [](const beast::error_code& ec, size_t) -> size_t {
      return ec ? 0 : kWriteChunk;
    };
    net::async_write(stream_, buffers_, as_much_as_fits,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
      self->answering_ = false;
      self->reply_ = Reply();
      if (ec || !self->keep_alive_) return self->Close();
      self->ReadRequest();
    });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  Impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::string path_;
  bool keep_alive_ = true;
  bool http10_ = false;
  bool answering_ = false;  // a reply is being made or written
  bool stopping_ = false;
  Reply reply_;
  std::string head_;
  std::vector<net::const_buffer> buffers_;
};

void HttpServer::Impl::Accept() {
  acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
    if (!ec) {
      beast::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      size_t open = 0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        open = sessions.size();
      }
      if (open >= static_cast<size_t>(options.max_connections)) {
        Refuse(std::move(socket));
      } else {
        std::make_shared<Session>(*this, std::move(socket))->Start();
      }
    }
    Accept();
  });
}

// Past the connection limit: one short reply, written without waiting (a
// fresh socket's send buffer takes it whole), then closed.
void HttpServer::Impl::Refuse(tcp::socket socket) {
  Reply reply = HostErrorReply(503, "too_many_connections",
                               "This server has " + std::to_string(options.max_connections) +
                                   " connections open, its limit; try again later.");
  std::string text = ResponseHead(503, reply.body.size(), false, false, {}) + reply.body;
  beast::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.write_some(net::buffer(text), ignored);
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  socket.close(ignored);
}

void HttpServer::Impl::CloseAll() {
  beast::error_code ignored;
  acceptor.close(ignored);
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& [raw, weak] : sessions) {
      if (auto session = weak.lock()) open.push_back(std::move(session));
    }
  }
  for (auto& session : open) {
    // On the session's own strand: it may be in the middle of a handler.
    net::post(session->executor(), [session] { session->OnStop(); });
  }
}

HttpServer::HttpServer(Runtime& runtime, const TypeLibrary& library, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(runtime, library, std::move(options))) {}

HttpServer::~HttpServer() {
  impl_->workers.join();
}

int HttpServer::Bind() {
  const HttpServerOptions& options = impl_->options;
  beast::error_code ec;
  tcp::endpoint endpoint(net::ip::make_address(options.bind_address, ec),
                         static_cast<unsigned short>(options.port));
  tcp::acceptor& acceptor = impl_->acceptor;
  if (!ec) acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    beast::error_code ignored;
    acceptor.close(ignored);
    throw std::runtime_error("Cannot listen on " + options.bind_address + ":" +
                             std::to_string(options.port) +
                             " (the port is taken, or the address is not one of this machine's).");
  }
  port_ = acceptor.local_endpoint().port();
  return port_;
}

void HttpServer::Serve() {
  Impl& impl = *impl_;
  {
    std::lock_guard<std::mutex> lock(impl.mutex);
    if (impl.stop_requested) return;
  }
  auto guard = net::make_work_guard(impl.io);
  impl.Accept();
  std::vector<std::thread> io_threads;
  int count = impl.options.io_threads > 0 ? impl.options.io_threads : 1;
  for (int i = 0; i < count; ++i) io_threads.emplace_back([&impl] { impl.io.run(); });

  std::unique_lock<std::mutex> lock(impl.mutex);
  impl.changed.wait(lock, [&impl] { return impl.stop_requested; });
  lock.unlock();
  net::post(impl.io, [&impl] { impl.CloseAll(); });
  guard.reset();
  // Calls in flight are answered; a client that does not take its reply is
  // cut off at the request deadline.
  lock.lock();
  impl.changed.wait_for(lock, std::chrono::seconds(impl.options.request_timeout_seconds) +
                                  std::chrono::seconds(1),
                        [&impl] { return impl.sessions.empty(); });
  lock.unlock();
  impl.io.stop();
  for (std::thread& thread : io_threads) thread.join();
}

void HttpServer::Stop() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->stop_requested = true;
  impl_->changed.notify_all();
}

}  // namespace lxm::server
