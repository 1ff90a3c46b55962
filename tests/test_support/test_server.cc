#include "test_support/test_server.h"

namespace lxm::test {

server::HttpServerOptions ServerOptionsFor(const std::string& connect_string) {
  server::HttpServerOptions options;
  options.port = 0;
  options.workers = 2;
  options.keep_alive_seconds = 1;
  server::DatabaseAllowlist allowlist;
  allowlist.Add(connect_string);
  options.dispatch.databases = allowlist;
  return options;
}

TestServer::TestServer(Runtime& runtime, const server::TypeLibrary& library,
                       const server::HttpServerOptions& options)
    : server_(runtime, library, options) {
  port_ = server_.Bind();
  serving_ = std::thread([this] { server_.Serve(); });
}

TestServer::~TestServer() { Stop(); }

void TestServer::Stop() {
  if (!serving_.joinable()) return;
  server_.Stop();
  serving_.join();
}

}  // namespace lxm::test
