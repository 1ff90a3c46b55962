// A small HTTP client for the command line's `call --server` and the tests:
// one request, the reply's status and body.
#ifndef LXM_SERVER_HTTP_CLIENT_H_
#define LXM_SERVER_HTTP_CLIENT_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace lxm::server {

struct HttpReply {
  int status = 0;
  std::string body;
};

// What one exchange may take, and whom it trusts.
struct HttpLimits {
  std::chrono::seconds connect_timeout{10};
  // From the connection to the reply's last byte; a reply may take as long
  // as the call behind it.
  std::chrono::seconds reply_timeout{300};
  size_t max_reply_bytes = 0;  // 0: no bound
  // For https: the PEM certificates that may sign the server's; empty: the
  // system's.
  std::string ca_file;
};

// `base_url` is "http://host:port" or "https://host:port" (TLS 1.2 or later;
// the certificate must be valid for the host, by name or address); `token`,
// when not empty, is sent as "Authorization: Bearer <token>". Throws
// std::runtime_error when no reply comes (refused, timed out, a certificate
// not trusted, a reply over the size bound, ...).
HttpReply HttpPost(std::string_view base_url, std::string_view path, std::string_view body,
                   std::string_view token = {}, const HttpLimits& limits = {});
HttpReply HttpGet(std::string_view base_url, std::string_view path, std::string_view token = {});

// POSTs {"args": `args_json`} to "/rpc/" + `method` ("ProgID/Method"). A
// call that gets no reply (the server went away) gives status 0 and the
// reason as the body, rather than throwing.
HttpReply PostCall(std::string_view base_url, std::string_view method, std::string_view args_json);

}  // namespace lxm::server

#endif  // LXM_SERVER_HTTP_CLIENT_H_
