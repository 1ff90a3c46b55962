// HttpServer: the host process's HTTP face (what COM+ and its server process
// were to the original): JSON calls by class and method name, dispatched to a
// fresh public object each.
//
//   POST /rpc/{ProgID}/{Method}   a call (dispatcher.h)
//   GET  /rpc/{ProgID}            the class's type library entry
//   GET  /rpc                     the ProgIDs served
//   GET  /health                  {"status":"ok"}, for load balancers; needs no token
//   GET  /config                  the databases and example user, for the web page
//   GET  /, /app.js, /app.css     the web page (web_assets.h); need no token
//
// Connections are read and written asynchronously by a few I/O threads
// (Boost.Beast on Boost.Asio); a call goes to the pool of worker threads
// only once its whole request is in, so slow or idle clients hold no worker.
// The worker sends what of the reply the socket takes at once and leaves
// the rest to the I/O threads. A call of a method whose calls have lately
// taken under half a millisecond (a cached level, mostly) is run by
// the I/O thread that read it instead, one at a time per I/O thread: the
// hand-over to a worker and back would cost more than the call. Writes and
// commands always go to the workers (they may wait for a lock).
// `/health`, `/config`, the page, the type library and every refusal are answered on the I/O
// side, whatever the workers are doing (behind at most one such short call).
// Replies leave at once (TCP_NODELAY).
//
// Deadlines: a request (headers and body) must arrive within
// `request_timeout_seconds` of its first byte; a connection idle between
// requests is closed after `keep_alive_seconds`. Past `max_connections`
// open connections a new one gets 503 and is closed at once.
//
// With a token or a token map, every request but /health and the page's files must carry
// "Authorization: Bearer <token>" (else 401, before the body is read). A token of the map
// acts within its user and role (method_access.h; 403 beyond them); the single token, and
// every request when neither is set, acts as any user. A body beyond the limit gets
// 413 (for a chunked body, its total); a request that breaks HTTP/1.1 gets
// 400; both close the connection.
//
// Thread-safety: Stop() may be called from any thread (a signal watcher);
// everything else from the owner's.
#ifndef LXM_SERVER_HTTP_SERVER_H_
#define LXM_SERVER_HTTP_SERVER_H_

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/runtime.h"
#include "server/access_token.h"
#include "server/dispatcher.h"
#include "server/request_origin.h"
#include "server/type_library.h"

namespace lxm::server {

struct HttpServerOptions {
  std::string bind_address = "127.0.0.1";
  int port = 8765;  // 0 picks a free port
  DispatcherOptions dispatch;
  std::string token;  // empty: no single token
  TokenMap token_map;  // empty: no per-user tokens
  size_t max_body_bytes = size_t{16} << 20;
  size_t max_header_bytes = size_t{16} << 10;
  int workers = 8;      // threads that run calls
  // Of them, the threads that run writes (DatasUpdate and commands), apart
  // and at a lower priority, so that writes never take the threads reads
  // need; 0: a quarter of `workers`, at least 2.
  int write_workers = 0;
  // Calls one user may have running at once (429 beyond); 0: a quarter of
  // `workers`, at least 1.
  int max_calls_per_user = 0;
  // Request bodies all connections may hold at once while they arrive and
  // run; a body beyond it is refused 503 before it is read.
  size_t max_buffered_bytes = size_t{512} << 20;
  int io_threads = 2;   // threads that read and write connections
  int keep_alive_seconds = 5;
  int request_timeout_seconds = 10;
  int max_connections = 512;
  int example_user = 0;  // the user the web page starts with
  OriginPolicy origins;  // the sites and names besides its own it answers
  // Both set: HTTPS only, with this PEM certificate (chain) and key.
  std::string tls_certificate_file;
  std::string tls_key_file;
};

class HttpServer {
 public:
  HttpServer(Runtime& runtime, const TypeLibrary& library, HttpServerOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the address and returns the port. Throws std::runtime_error when
  // it cannot be bound.
  int Bind();
  // Serves until Stop(); returns once the calls in flight have been
  // answered, or after the request timeout at the latest (clients that do
  // not take their replies are cut off). REQUIRES: Bind() succeeded.
  void Serve();
  // Stops accepting and closes every connection that is not waiting for a
  // call's reply. Safe before Serve() starts (Serve() then returns at once).
  void Stop();

  // Reads the TLS certificate and key again for the connections that come
  // next. Empty when done (or when the server speaks plain HTTP), else why
  // not: the certificate in use stays.
  std::string ReloadCertificate();

  int port() const { return port_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_HTTP_SERVER_H_
