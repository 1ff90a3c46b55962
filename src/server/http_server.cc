#include "server/http_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <limits>
#include <stdexcept>
#include <thread>
#include <utility>

#include <httplib.h>

#include "platform/text_util.h"

namespace lxm::server {

namespace {

constexpr char kJsonType[] = "application/json; charset=utf-8";

void Send(httplib::Response& res, Reply reply) {
  res.status = reply.status;
  if (reply.pieces.empty()) {
    // Moved, not copied.
    res.body = std::move(reply.body);
    res.set_header("Content-Type", kJsonType);
    return;
  }
  // Large shared levels go out from where they are kept.
  size_t length = 0;
  for (const auto& piece : reply.pieces) length += piece->size();
  res.set_content_provider(
      length, kJsonType,
      [pieces = std::move(reply.pieces)](size_t offset, size_t /*length*/, httplib::DataSink& sink) {
        for (const auto& piece : pieces) {
          if (offset < piece->size()) return sink.write(piece->data() + offset, piece->size() - offset);
          offset -= piece->size();
        }
        return false;
      });
}

// Compares every byte, so that the time taken does not tell how much of a
// guessed token was right (its length may show; that is no secret worth
// keeping).
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

struct HttpServer::Impl {
  Impl(Runtime& runtime, const TypeLibrary& library, HttpServerOptions server_options)
      : options(std::move(server_options)), dispatcher(runtime, library, options.dispatch) {}

  bool Authorized(const httplib::Request& req) const {
    if (options.token.empty()) return true;
    std::string header = req.get_header_value("Authorization");
    constexpr std::string_view kScheme = "Bearer ";
    if (header.size() < kScheme.size() ||
        !EqualsIgnoreCase(std::string_view(header).substr(0, kScheme.size()), kScheme)) {
      return false;
    }
    return SameToken(TrimSpaces(std::string_view(header).substr(kScheme.size())), options.token);
  }

  // False (and the 401 reply sent) when the request lacks the token.
  bool CheckToken(const httplib::Request& req, httplib::Response& res) const {
    if (Authorized(req)) return true;
    Send(res, HostErrorReply(401, "unauthorized",
                             "This server asks for \"Authorization: Bearer <token>\"; the "
                             "request's is missing or wrong."));
    res.set_header("WWW-Authenticate", "Bearer");
    return false;
  }

  void SetUp() {
    server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
      Send(res, Reply{200, R"({"status":"ok"})"});
    });
    server.Get("/rpc", [this](const httplib::Request& req, httplib::Response& res) {
      if (CheckToken(req, res)) Send(res, dispatcher.ListClasses());
    });
    server.Get(R"(/rpc/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
      if (CheckToken(req, res)) Send(res, dispatcher.Describe(req.matches[1].str()));
    });
    server.Post(R"(/rpc/([^/]+)/([^/]+))",
                [this](const httplib::Request& req, httplib::Response& res) {
                  if (!CheckToken(req, res)) return;
                  Send(res, dispatcher.Call(req.matches[1].str(), req.matches[2].str(), req.body));
                });

    // Statuses the library sets itself (no route, body too large, a request
    // that is not HTTP) get a JSON body too.
    server.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (!res.body.empty()) return;
      switch (res.status) {
        case 404:
          Send(res, HostErrorReply(404, "not_found",
                                   "No such path: " + req.method + " " + req.path +
                                       " (the service answers POST /rpc/{ProgID}/{Method}, "
                                       "GET /rpc/{ProgID}, GET /rpc and GET /health)."));
          break;
        case 413:
          Send(res, HostErrorReply(413, "body_too_large",
                                   "The request body is larger than this server's limit of " +
                                       std::to_string(options.max_body_bytes) + " bytes."));
          break;
        default:
          Send(res, HostErrorReply(res.status, "bad_request",
                                   "The request could not be read (HTTP " +
                                       std::to_string(res.status) + ")."));
      }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
          std::string description = "unknown failure";
          try {
            if (error) std::rethrow_exception(error);
          } catch (const std::exception& e) {
            description = e.what();
          } catch (...) {
          }
          Send(res, HostErrorReply(500, "internal", description));
        });

    // Without TCP_NODELAY every reply written in two parts (headers, body)
    // waits for the client's delayed ACK. Accepted sockets inherit the
    // options of the listening one.
    server.set_tcp_nodelay(true);
    server.set_socket_options([](socket_t sock) {
      int on = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });
    server.set_keep_alive_max_count(std::numeric_limits<int32_t>::max());
    server.set_keep_alive_timeout(options.keep_alive_seconds);
    server.set_payload_max_length(options.max_body_bytes);
    size_t workers = options.workers > 0 ? static_cast<size_t>(options.workers) : 1;
    server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  }

  HttpServerOptions options;
  Dispatcher dispatcher;
  httplib::Server server;
};

HttpServer::HttpServer(Runtime& runtime, const TypeLibrary& library, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(runtime, library, std::move(options))) {
  impl_->SetUp();
}

HttpServer::~HttpServer() = default;

int HttpServer::Bind() {
  const HttpServerOptions& options = impl_->options;
  int port = -1;
  if (options.port == 0) {
    port = impl_->server.bind_to_any_port(options.bind_address);
  } else if (impl_->server.bind_to_port(options.bind_address, options.port)) {
    port = options.port;
  }
  if (port <= 0) {
    throw std::runtime_error("Cannot listen on " + options.bind_address + ":" +
                             std::to_string(options.port) +
                             " (the port is taken, or the address is not one of this machine's).");
  }
  port_ = port;
  return port;
}

void HttpServer::Serve() {
  serving_ = true;
  if (!stop_requested_) impl_->server.listen_after_bind();
  serving_ = false;
}

void HttpServer::Stop() {
  stop_requested_ = true;
  // The library ignores stop() until it listens: when Serve() is just
  // starting, wait until it does (or returns).
  while (serving_ && !impl_->server.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  impl_->server.stop();
}

}  // namespace lxm::server
