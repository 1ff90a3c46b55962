// HttpServer: the host process's HTTP face (what COM+ and its server process
// were to the original): JSON calls by class and method name, dispatched to a
// fresh public object each.
//
//   POST /rpc/{ProgID}/{Method}   a call (dispatcher.h)
//   GET  /rpc/{ProgID}            the class's type library entry
//   GET  /rpc                     the ProgIDs served
//   GET  /health                  {"status":"ok"}, for load balancers; needs no token
//
// Connections are kept alive and served by a fixed pool of worker threads;
// replies leave at once (TCP_NODELAY: Nagle's algorithm and delayed ACK
// would add tens of milliseconds to every small reply). A keep-alive
// connection holds its worker while open, so the pool bounds the number of
// connections served at the same time; the rest wait their turn.
//
// With a token, every request but /health must carry "Authorization: Bearer
// <token>" (else 401). A body beyond the limit gets 413.
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
#include "server/dispatcher.h"
#include "server/type_library.h"

namespace lxm::server {

struct HttpServerOptions {
  std::string bind_address = "127.0.0.1";
  int port = 8765;  // 0 picks a free port
  DispatcherOptions dispatch;
  std::string token;  // empty: no token asked for
  size_t max_body_bytes = size_t{16} << 20;
  int workers = 8;
  int keep_alive_seconds = 5;
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
  // Serves until Stop(); returns when the calls in flight have been
  // answered. REQUIRES: Bind() succeeded.
  void Serve();
  // Stops accepting; idle keep-alive connections close within the
  // keep-alive time. Safe before Serve() starts (Serve() then returns at
  // once).
  void Stop();

  int port() const { return port_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
  std::atomic<bool> stop_requested_ = false;
  std::atomic<bool> serving_ = false;  // inside Serve()
};

}  // namespace lxm::server

#endif  // LXM_SERVER_HTTP_SERVER_H_
