// Boost 1.74's Asio uses std::exchange without including <utility> (GCC 12).
#include <utility>

#include "server/http_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "platform/byte_budget.h"
#include "platform/text_util.h"
#include "server/call_placement.h"
#include "server/call_times.h"
#include "server/http_framing.h"
#include "server/page_config.h"
#include "server/tls_certificate.h"
#include "server/web_assets.h"

namespace lxm::server {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

std::string_view Std(beast::string_view text) { return {text.data(), text.size()}; }

constexpr std::string_view kJsonType = "application/json; charset=utf-8";
// The most bytes asked of the socket at a time.
constexpr size_t kReadChunk = 16 * 1024;
// The most bytes handed to one write system call.
constexpr size_t kWriteChunk = size_t{8} << 20;
// The most pieces handed to one sendmsg.
constexpr size_t kMaxPiecesPerSend = 64;

// Compares every byte, so that the time taken does not tell how much of a
// guessed token was right (its length may show; that is no secret worth
// keeping).
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// Bodies up to this size are not counted against the buffered-bytes bound,
// so that small calls are never refused for it; larger ones are counted in
// steps of kBodyStep as they arrive (a chunked body) or whole (one with a
// length).
constexpr size_t kUncountedBody = size_t{64} << 10;
constexpr size_t kBodyStep = size_t{1} << 20;
// After a call whose body was this large, the memory it freed goes back to
// the system (at most once a second): glibc would keep a burst's peak.
constexpr size_t kTrimAfterBody = size_t{1} << 20;

Reply NotFoundReply(std::string_view method, std::string_view path) {
  return HostErrorReply(404, "not_found",
                        "No such path: " + std::string(method) + " " + std::string(path) +
                            " (the service answers POST /rpc/{ProgID}/{Method}, GET "
                            "/rpc/{ProgID}, GET /rpc, GET /health, GET /config and the web "
                            "page at GET /).");
}

}  // namespace

struct HttpServer::Impl {
  class Session;

  Impl(Runtime& runtime, const TypeLibrary& library, HttpServerOptions server_options)
      : options(std::move(server_options)),
        dispatcher(runtime, library, WithCallBound(options.dispatch, options.workers, options.max_calls_per_user)),
        body_budget(static_cast<int64_t>(options.max_buffered_bytes)),
        workers(static_cast<size_t>(options.workers > 0 ? options.workers : 1)),
        write_workers(static_cast<size_t>(WriteWorkerCount(options.workers, options.write_workers))) {
    int count = options.io_threads > 0 ? options.io_threads : 1;
    // One context per I/O thread: a connection's handlers run on one thread,
    // in order, with no strand and no hand-over between I/O threads.
    for (int i = 0; i < count; ++i) ios.push_back(std::make_unique<net::io_context>(1));
    acceptor.emplace(*ios.front());
    if (!options.tls_certificate_file.empty() || !options.tls_key_file.empty()) {
      certificate.emplace(options.tls_certificate_file, options.tls_key_file);
    }
  }

  // Whether the request's Authorization header lets it in; `caller` is who
  // the token map says it is (nothing for the single token, and without a
  // map: no restriction but the token).
  bool Authorize(std::string_view header, std::optional<Caller>* caller) const {
    caller->reset();
    if (options.token.empty() && options.token_map.empty()) return true;
    constexpr std::string_view kScheme = "Bearer ";
    if (header.size() < kScheme.size() || !EqualsIgnoreCase(header.substr(0, kScheme.size()), kScheme)) {
      return false;
    }
    std::string_view presented = TrimSpaces(header.substr(kScheme.size()));
    if (!options.token.empty() && SameToken(presented, options.token)) return true;
    if (const AccessGrant* grant = options.token_map.Find(presented)) {
      *caller = Caller{grant->user_id, grant->role};
      return true;
    }
    return false;
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
  CallTimes call_times;
  std::optional<TlsCertificate> certificate;  // HTTPS when set
  ByteBudget body_budget;  // request bodies held by all connections

  std::mutex mutex;
  std::condition_variable changed;  // stop asked for, or the last session gone
  bool stop_requested = false;      // GUARDED_BY(mutex)
  std::unordered_map<Session*, std::weak_ptr<Session>> sessions;  // GUARDED_BY(mutex)

  // Declared after what sessions use, so that they go first.
  net::thread_pool workers;
  net::thread_pool write_workers;
  std::vector<std::unique_ptr<net::io_context>> ios;
  size_t next_io = 0;  // the context of the next connection; used by the acceptor only
  std::optional<tcp::acceptor> acceptor;
};

// One connection: reads a request, answers it here or hands it to a worker,
// and reads the next.
//
// Everything runs on the connection's I/O thread, except a call that is not
// known to be short: from the moment it is handed to a worker until the
// worker hands the connection back, the worker owns the connection (no read
// or write is pending then, and the deadline is off). A worker sends the
// reply with what the socket takes at once and, when it took it all, starts
// the read of the next request itself. What the socket does not take at
// once is written by the I/O thread, so a worker never waits for a client.
class HttpServer::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& server, tcp::socket socket)
      : server_(server),
        executor_(socket.get_executor()),
        socket_(std::move(socket)),
        timer_(executor_),
        check_every_(std::chrono::seconds(
            std::max(1, std::min(server.options.keep_alive_seconds,
                                 server.options.request_timeout_seconds)))) {}
  ~Session() { server_.Unregister(this); }

  void Start() {
    if (server_.certificate) {
      tls_context_ = server_.certificate->Current();
      tls_.emplace(std::move(socket_), *tls_context_);
    }
    server_.Register(this, shared_from_this());
    net::dispatch(executor_, [self = shared_from_this()] {
      self->WatchDeadline();
      if (!self->tls_) return self->ReadRequest();
      // The handshake is the request's first bytes: it has the request's time.
      self->SetDeadline(self->server_.options.request_timeout_seconds);
      self->tls_->async_handshake(ssl::stream_base::server, [self](beast::error_code ec) {
        if (ec) return self->Close();
        self->ReadRequest();
      });
    });
  }

  tcp::socket::executor_type executor() { return executor_; }

  // Stop() was asked for: close unless a reply is on its way.
  void OnStop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      if (calling_) return;  // the worker sees it when the call ends
    }
    if (!writing_) Close();
  }

 private:
  // ---- deadlines (I/O thread) ----

  // The connection is closed once `deadline_` passes. Setting it touches no
  // timer: one timer per connection wakes at the deadline or every
  // `check_every_` and looks. Every deadline set is at least `check_every_`
  // away, so it never falls before the timer's next wake-up.
  void SetDeadline(int seconds) {
    deadline_.store((Clock::now() + std::chrono::seconds(seconds)).time_since_epoch().count());
  }

  void WatchDeadline() {
    Clock::time_point wake = Clock::now() + check_every_;
    Clock::time_point deadline{Clock::duration(deadline_.load())};
    if (!calling_ && deadline < wake) wake = deadline;
    timer_.expires_at(wake);
    timer_.async_wait([weak = weak_from_this()](beast::error_code ec) {
      auto self = weak.lock();
      if (!self || ec || self->closed_) return;
      bool expired = false;
      {
        std::lock_guard<std::mutex> lock(self->mutex_);
        expired = !self->calling_ &&
                  Clock::now().time_since_epoch().count() >= self->deadline_.load();
      }
      if (expired) return self->Close();
      self->WatchDeadline();
    });
  }

  // ---- reading (I/O thread, or the worker that hands the connection back) ----

  // Gets ready for the next request; the connection idles until its first
  // byte.
  void BeginRequest() {
    ReleaseBody();
    parser_.emplace();
    parser_->header_limit(static_cast<uint32_t>(server_.options.max_header_bytes));
    parser_->body_limit(server_.options.max_body_bytes);
    request_started_ = false;
  }

  void ReadRequest() {
    if (stopping()) return Close();
    BeginRequest();
    if (buffer_.size() > 0) {  // pipelined
      request_started_ = true;
      SetDeadline(server_.options.request_timeout_seconds);
      return Parse();
    }
    SetDeadline(server_.options.keep_alive_seconds);
    ReadSome();
  }

  void ReadSome() {
    auto on_read = [self = shared_from_this()](beast::error_code ec, size_t n) { self->OnRead(ec, n); };
    if (tls_) return tls_->async_read_some(buffer_.prepare(kReadChunk), std::move(on_read));
    socket_.async_read_some(buffer_.prepare(kReadChunk), std::move(on_read));
  }

  // Writes on the connection (through TLS when it speaks it).
  template <typename Buffers, typename Condition, typename Handler>
  void AsyncWrite(const Buffers& buffers, Condition condition, Handler handler) {
    if (tls_) return net::async_write(*tls_, buffers, condition, std::move(handler));
    net::async_write(socket_, buffers, condition, std::move(handler));
  }

  tcp::socket& Lowest() { return tls_ ? tls_->next_layer() : socket_; }

  void OnRead(beast::error_code ec, size_t n) {
    if (ec == net::error::eof && parser_->got_some()) {
      // The client half-closed: what it sent must make a whole request.
      beast::error_code eof_ec;
      parser_->put_eof(eof_ec);
      if (eof_ec) return OnReadError(eof_ec);
      return Handle();
    }
    if (ec) return Close();
    buffer_.commit(n);
    if (!request_started_) {
      // The request's own deadline starts at its first byte.
      request_started_ = true;
      SetDeadline(server_.options.request_timeout_seconds);
    }
    Parse();
  }

  // Feeds the parser what has arrived; goes on once the request is whole.
  void Parse() {
    while (buffer_.size() > 0) {
      const bool had_header = parser_->is_header_done();
      beast::error_code ec;
      size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec == http::error::need_more) break;
      if (ec) return OnReadError(ec);
      if (!had_header && parser_->is_header_done() && !OnHeader()) return;
      // A body without a length is counted as it grows.
      if (parser_->is_header_done() && !parser_->content_length() &&
          parser_->get().body().size() > body_reserved_ + kUncountedBody && !ReserveBody(kBodyStep)) {
        return WriteBusy();
      }
      if (parser_->is_done()) return Handle();
    }
    ReadSome();
  }

  // The headers are in. False when answered already (the body is not read).
  bool OnHeader() {
    const auto& request = parser_->get();
    http10_ = request.version() == 10;
    std::string_view target = Std(request.target());
    path_.assign(target.substr(0, target.find('?')));
    // The page and its files need no token: the page asks for it and sends
    // it with its calls.
    const bool open_path =
        path_ == "/health" || (request.method() == http::verb::get && FindWebAsset(path_) != nullptr);
    if (std::string framing = FramingFault(request); !framing.empty()) {
      // What follows cannot be told apart from a next request: close.
      Write(HostErrorReply(400, "bad_request", framing), false);
      return false;
    }
    // /health answers load balancers whatever name they use.
    cors_fields_.clear();
    preflight_ = request.method() == http::verb::options;
    if (path_ != "/health") {
      RequestSource source;
      source.host = Std(request[http::field::host]);
      source.has_origin = request.find(http::field::origin) != request.end();
      source.origin = Std(request[http::field::origin]);
      source.fetch_site = Std(request["Sec-Fetch-Site"]);
      source.http10 = http10_;
      OriginVerdict verdict = CheckRequestSource(server_.options.origins, source, open_path);
      if (verdict.status != 0) {
        Write(HostErrorReply(verdict.status, verdict.kind, verdict.description),
              parser_->is_done() && request.keep_alive());
        return false;
      }
      cors_fields_ = preflight_ ? PreflightFields(verdict) : std::move(verdict.cors_fields);
    }
    // A preflight carries no token; it learns only whether its origin may
    // call.
    if (open_path || preflight_) {
      caller_.reset();
    } else if (!server_.Authorize(Std(request[http::field::authorization]), &caller_)) {
      // A body is never read: the connection closes after the reply unless
      // the request had none.
      Write(HostErrorReply(401, "unauthorized",
                           "This server asks for \"Authorization: Bearer <token>\"; the "
                           "request's is missing or wrong."),
            parser_->is_done() && request.keep_alive(), "WWW-Authenticate: Bearer\r\n");
      return false;
    }
    // A browser sends this type across sites only after a preflight.
    if (request.method() == http::verb::post && path_.rfind("/rpc/", 0) == 0 &&
        !IsJsonMediaType(Std(request[http::field::content_type]))) {
      Write(HostErrorReply(415, "unsupported_media_type",
                           "Calls are sent as \"Content-Type: application/json\"."),
            parser_->is_done() && request.keep_alive());
      return false;
    }
    auto length = parser_->content_length();
    if (length && *length > server_.options.max_body_bytes) {
      WriteTooLarge();
      return false;
    }
    // The whole body's room is taken before a byte of it is read.
    if (length && *length > kUncountedBody && !ReserveBody(static_cast<size_t>(*length))) {
      WriteBusy();
      return false;
    }
    if (!parser_->is_done() && buffer_.size() == 0 &&
        EqualsIgnoreCase(Std(request[http::field::expect]), "100-continue")) {
      writing_ = true;
      AsyncWrite(net::buffer(kContinue), net::transfer_all(),
                 [self = shared_from_this()](beast::error_code ec, size_t) {
                   self->writing_ = false;
                   if (ec || self->stopping()) return self->Close();
                   self->ReadSome();
                 });
      return false;
    }
    return true;
  }

  void OnReadError(beast::error_code ec) {
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

  // Takes `bytes` more of the server's room for request bodies; false when
  // the other connections hold it.
  bool ReserveBody(size_t bytes) {
    ByteBudget::Share share = server_.body_budget.Take(static_cast<int64_t>(bytes), std::chrono::milliseconds(0));
    if (share == nullptr) return false;
    body_shares_.push_back(std::move(share));
    body_reserved_ += bytes;
    return true;
  }

  void ReleaseBody() {
    body_shares_.clear();
    body_reserved_ = 0;
  }

  void WriteBusy() {
    Write(HostErrorReply(503, "server_busy",
                         "The server holds as many request bodies as it may (" +
                             std::to_string(server_.options.max_buffered_bytes >> 20) +
                             " MiB); send this one again shortly."),
          false, "Retry-After: 1\r\n");
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
    if (preflight_) return Write(Reply{200, ""}, keep_alive_, "Allow: GET, POST, OPTIONS\r\n");
    if (get && path == "/health") return Write(Reply{200, R"({"status":"ok"})"}, keep_alive_);
    if (get && path == "/rpc") return Write(server_.dispatcher.ListClasses(), keep_alive_);
    if (get && path == "/config") {
      // A user token's page starts with the token's own user.
      return Write(PageConfigReply(server_.options.dispatch,
                                   caller_ ? caller_->user_id : server_.options.example_user,
                                   !server_.options.token.empty() || !server_.options.token_map.empty()),
                   keep_alive_);
    }
    if (get) {
      if (const WebAsset* asset = FindWebAsset(path)) {
        Reply reply;
        reply.pieces.push_back(WebAssetBytes(*asset));
        reply.content_type = asset->content_type;
        reply.extra_fields = kWebAssetFields;
        return Write(std::move(reply), keep_alive_);
      }
    }
    constexpr std::string_view kPrefix = "/rpc/";
    if (path.substr(0, kPrefix.size()) == kPrefix) {
      std::string_view rest = path.substr(kPrefix.size());
      size_t slash = rest.find('/');
      if (get && slash == std::string_view::npos && !rest.empty()) {
        return Write(server_.dispatcher.Describe(rest), keep_alive_);
      }
      if (post && slash != std::string_view::npos && slash > 0 && slash + 1 < rest.size() &&
          rest.find('/', slash + 1) == std::string_view::npos) {
        call_class_.assign(rest.substr(0, slash));
        call_method_.assign(rest.substr(slash + 1));
        call_body_ = std::move(request.body());
        call_key_ = rest;
        // Writes never run here: a write may wait for the write lock (held
        // by another process, for up to the lock wait), and that must not
        // stall the other connections of this thread.
        if (!IsWriteCall(call_class_, call_method_) && server_.call_times.Short(call_key_)) {
          return Answer(RunCall(/*counted=*/false), /*on_io_thread=*/true);
        }
        return Call();
      }
    }
    Write(NotFoundReply(Std(request.method_string()), path), keep_alive_);
  }

  // ---- a call (run here when short, else handed to a worker) ----

  void Call() {
    calling_ = true;
    if (IsWriteCall(call_class_, call_method_)) {
      net::post(server_.write_workers, [self = shared_from_this()] {
        LowerThisThreadsPriority();
        self->Answer(self->RunCall(/*counted=*/true), /*on_io_thread=*/false);
      });
      return;
    }
    net::post(server_.workers, [self = shared_from_this()] {
      self->Answer(self->RunCall(/*counted=*/true), /*on_io_thread=*/false);
    });
  }

  // `counted`: the call takes a worker, and so counts against its user's
  // bound of calls in flight.
  Reply RunCall(bool counted) {
    Reply reply;
    auto start = Clock::now();
    try {
      reply = server_.dispatcher.Call(call_class_, call_method_, call_body_,
                                      caller_ ? &*caller_ : nullptr, counted);
    } catch (const std::exception& e) {
      reply = HostErrorReply(500, "internal", e.what());
    }
    // 404: no such class or method.
    if (reply.status != 404) server_.call_times.Record(call_key_, Clock::now() - start);
    const size_t body_size = call_body_.size();
    call_body_ = std::string();
    ReleaseBody();
    if (body_size >= kTrimAfterBody) TrimFreedMemorySoon();
    return reply;
  }

  // Sends the reply as far as the socket takes it now and, on a worker,
  // hands the connection back. Until `calling_` is cleared the worker owns
  // the connection; the deadline is set before, so that the I/O side never
  // sees a stale one.
  void Answer(Reply reply, bool on_io_thread) {
    Prepare(std::move(reply), keep_alive_ && !stopping_, {});
    const bool sent = SendNow();
    if (sent && keep_alive_ && buffers_.empty() && buffer_.size() == 0) {
      // All sent: wait for the next request.
      reply_ = Reply();
      BeginRequest();
      SetDeadline(server_.options.keep_alive_seconds);
      std::lock_guard<std::mutex> lock(mutex_);
      calling_ = false;
      if (!stopping_) {
        // Nothing of the connection is touched after the read starts: its
        // handler may run at once.
        ReadSome();
        return;
      }
    } else {
      SetDeadline(server_.options.request_timeout_seconds);
      std::lock_guard<std::mutex> lock(mutex_);
      calling_ = false;
    }
    // The rest of the reply, the close, or a pipelined request: the I/O
    // thread's.
    if (on_io_thread) {
      if (!sent) return Close();
      return WriteRest();
    }
    net::post(executor_, [self = shared_from_this(), sent] {
      if (!sent) return self->Close();
      self->WriteRest();
    });
  }

  // ---- writing ----

  // Lays out the reply's bytes in buffers_: the head, the shared pieces
  // (large levels go out from where they are kept), the body.
  void Prepare(Reply reply, bool keep_alive, std::string_view extra_fields) {
    keep_alive_ = keep_alive;
    reply_ = std::move(reply);
    size_t length = reply_.body.size();
    for (const auto& piece : reply_.pieces) length += piece->size();
    ResponseHead(reply_.status, reply_.content_type, length, keep_alive_, http10_, extra_fields,
                 &head_);
    // The reply's own fields go before the blank line that ends the head.
    if (!reply_.extra_fields.empty()) head_.insert(head_.size() - 2, reply_.extra_fields);
    if (!cors_fields_.empty()) head_.insert(head_.size() - 2, cors_fields_);
    buffers_.clear();
    buffers_.push_back(net::buffer(head_));
    for (const auto& piece : reply_.pieces) {
      if (!piece->empty()) buffers_.push_back(net::buffer(*piece));
    }
    if (!reply_.body.empty()) buffers_.push_back(net::buffer(reply_.body));
  }

  // Sends what the socket takes without waiting; what was sent leaves
  // buffers_. False when the connection failed. Through TLS nothing is sent
  // here: the I/O thread encrypts and writes it all.
  bool SendNow() {
    if (tls_) return true;
    while (!buffers_.empty()) {
      iovec pieces[kMaxPiecesPerSend];
      size_t count = std::min(buffers_.size(), kMaxPiecesPerSend);
      for (size_t i = 0; i < count; ++i) {
        pieces[i].iov_base = const_cast<void*>(buffers_[i].data());
        pieces[i].iov_len = buffers_[i].size();
      }
      msghdr message{};
      message.msg_iov = pieces;
      message.msg_iovlen = count;
      ssize_t sent = ::sendmsg(socket_.native_handle(), &message, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
      }
      auto left = static_cast<size_t>(sent);
      size_t done = 0;
      while (done < buffers_.size() && left >= buffers_[done].size()) left -= buffers_[done++].size();
      buffers_.erase(buffers_.begin(), buffers_.begin() + static_cast<ptrdiff_t>(done));
      if (left > 0) buffers_.front() += left;
      if (done < count) return true;  // the socket is full
    }
    return true;
  }

  // A reply made on the I/O thread.
  void Write(Reply reply, bool keep_alive, std::string_view extra_fields = {}) {
    Prepare(std::move(reply), keep_alive && !stopping(), extra_fields);
    SetDeadline(server_.options.request_timeout_seconds);
    WriteRest();
  }

  void WriteRest() {
    writing_ = true;
    // Asio writes 64 KiB per system call unless told otherwise: a level of
    // megabytes goes out in as few writes as the socket takes.
    auto as_much_as_fits = [](const beast::error_code& ec, size_t) -> size_t {
      return ec ? 0 : kWriteChunk;
    };
    AsyncWrite(buffers_, as_much_as_fits,
               [self = shared_from_this()](beast::error_code ec, size_t) {
                 self->writing_ = false;
                 self->reply_ = Reply();
                 self->buffers_.clear();
                 if (ec || !self->keep_alive_) return self->Close();
                 self->ReadRequest();
               });
  }

  bool stopping() const { return stopping_; }

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    Lowest().shutdown(tcp::socket::shutdown_send, ignored);
    Lowest().close(ignored);
    timer_.cancel();
  }

  static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

  Impl& server_;
  const tcp::socket::executor_type executor_;
  tcp::socket socket_;  // moved into tls_ when the server speaks TLS
  std::shared_ptr<ssl::context> tls_context_;  // the certificate this connection was given
  std::optional<ssl::stream<tcp::socket>> tls_;
  net::steady_timer timer_;
  const Clock::duration check_every_;

  // Hands the connection over between a worker that ends a call and the
  // I/O thread's stop and deadline checks.
  std::mutex mutex_;
  std::atomic<bool> calling_ = false;  // a worker owns the connection; cleared under mutex_
  std::atomic<bool> stopping_ = false;  // set under mutex_
  // When the connection is closed, in Clock's ticks.
  std::atomic<Clock::rep> deadline_ = Clock::time_point::max().time_since_epoch().count();

  // Owned by whoever owns the connection (the I/O thread, or the worker
  // during a call).
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  bool request_started_ = false;
  std::string path_;
  std::string call_class_;
  std::string call_method_;
  std::string call_body_;
  std::vector<ByteBudget::Share> body_shares_;  // the room the request's body takes
  size_t body_reserved_ = 0;
  std::string_view call_key_;  // "ProgID/Method", in path_
  std::optional<Caller> caller_;  // who the request's token is, by the token map
  bool keep_alive_ = true;
  bool http10_ = false;
  bool preflight_ = false;   // the request is an OPTIONS preflight
  std::string cors_fields_;  // for an allowed foreign origin's page
  bool writing_ = false;  // the I/O thread writes a reply
  bool closed_ = false;
  Reply reply_;
  std::string head_;
  std::vector<net::const_buffer> buffers_;  // what is left to send
};

void HttpServer::Impl::Accept() {
  net::io_context& io = *ios[next_io];
  next_io = (next_io + 1) % ios.size();
  acceptor->async_accept(io, [this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor->is_open()) return;
    if (!ec) {
      beast::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      // Asio opens sockets without close-on-exec: a program the server
      // starts must not hold a caller's connection.
      ::fcntl(socket.native_handle(), F_SETFD, FD_CLOEXEC);
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
  beast::error_code ignored;
  if (certificate) {
    // A plain reply means nothing to a TLS client: the closed connection says it.
    socket.close(ignored);
    return;
  }
  Reply reply = HostErrorReply(503, "too_many_connections",
                               "This server has " + std::to_string(options.max_connections) +
                                   " connections open, its limit; try again later.");
  std::string text;
  ResponseHead(503, kJsonType, reply.body.size(), false, false, {}, &text);
  text += reply.body;
  socket.non_blocking(true, ignored);
  socket.write_some(net::buffer(text), ignored);
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  socket.close(ignored);
}

void HttpServer::Impl::CloseAll() {
  beast::error_code ignored;
  acceptor->close(ignored);
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& [raw, weak] : sessions) {
      if (auto session = weak.lock()) open.push_back(std::move(session));
    }
  }
  for (auto& session : open) {
    // On the session's own thread: it may be in the middle of a handler.
    net::post(session->executor(), [session] { session->OnStop(); });
  }
}

HttpServer::HttpServer(Runtime& runtime, const TypeLibrary& library, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(runtime, library, std::move(options))) {}

HttpServer::~HttpServer() {
  impl_->workers.join();
  impl_->write_workers.join();
}

int HttpServer::Bind() {
  const HttpServerOptions& options = impl_->options;
  beast::error_code ec;
  tcp::endpoint endpoint(net::ip::make_address(options.bind_address, ec),
                         static_cast<unsigned short>(options.port));
  tcp::acceptor& acceptor = *impl_->acceptor;
  if (!ec) acceptor.open(endpoint.protocol(), ec);
  // Nor the port: a program that outlived its call would keep it.
  if (!ec) ::fcntl(acceptor.native_handle(), F_SETFD, FD_CLOEXEC);
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
  using Guard = net::executor_work_guard<net::io_context::executor_type>;
  std::vector<Guard> guards;
  for (auto& io : impl.ios) guards.push_back(net::make_work_guard(*io));
  net::post(*impl.ios.front(), [&impl] { impl.Accept(); });
  std::vector<std::thread> io_threads;
  for (auto& io : impl.ios) io_threads.emplace_back([&io] { io->run(); });

  std::unique_lock<std::mutex> lock(impl.mutex);
  impl.changed.wait(lock, [&impl] { return impl.stop_requested; });
  lock.unlock();
  net::post(*impl.ios.front(), [&impl] { impl.CloseAll(); });
  guards.clear();
  // Calls in flight are answered; a client that does not take its reply is
  // cut off at the request deadline.
  lock.lock();
  impl.changed.wait_for(lock, std::chrono::seconds(impl.options.request_timeout_seconds) +
                                  std::chrono::seconds(1),
                        [&impl] { return impl.sessions.empty(); });
  lock.unlock();
  for (auto& io : impl.ios) io->stop();
  for (std::thread& thread : io_threads) thread.join();
}

std::string HttpServer::ReloadCertificate() {
  if (!impl_->certificate) return {};
  return impl_->certificate->Reload();
}

void HttpServer::Stop() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->stop_requested = true;
  impl_->changed.notify_all();
}

}  // namespace lxm::server
