#include "server/http_client.h"

#include <stdexcept>
#include <string>

#include <httplib.h>

namespace lxm::server {

namespace {

httplib::Headers HeadersFor(std::string_view token) {
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + std::string(token));
  return headers;
}

HttpReply ReplyOf(const httplib::Result& result, std::string_view base_url, std::string_view path) {
  if (!result) {
    throw std::runtime_error("No reply from " + std::string(base_url) + std::string(path) + ": " +
                             httplib::to_string(result.error()));
  }
  return HttpReply{result->status, result->body};
}

}  // namespace

HttpReply HttpPost(std::string_view base_url, std::string_view path, std::string_view body,
                   std::string_view token) {
  httplib::Client client{std::string(base_url)};
  client.set_tcp_nodelay(true);
  client.set_read_timeout(300);
  httplib::Result result = client.Post(std::string(path), HeadersFor(token), body.data(), body.size(),
                                       "application/json");
  return ReplyOf(result, base_url, path);
}

HttpReply HttpGet(std::string_view base_url, std::string_view path, std::string_view token) {
  httplib::Client client{std::string(base_url)};
  client.set_tcp_nodelay(true);
  httplib::Result result = client.Get(std::string(path), HeadersFor(token));
  return ReplyOf(result, base_url, path);
}

}  // namespace lxm::server
