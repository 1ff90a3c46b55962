// Boost 1.74's Asio uses std::exchange without including <utility> (GCC 12).
#include <utility>

#include "server/http_client.h"

#include <fcntl.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <openssl/ssl.h>

namespace lxm::server {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace ssl = net::ssl;

struct Endpoint {
  std::string host;
  std::string port;
  bool tls = false;
};

Endpoint ParseBaseUrl(std::string_view base_url) {
  Endpoint endpoint;
  std::string_view rest;
  if (base_url.starts_with("http://")) {
    rest = base_url.substr(7);
  } else if (base_url.starts_with("https://")) {
    rest = base_url.substr(8);
    endpoint.tls = true;
  } else {
    throw std::runtime_error("The server address " + std::string(base_url) +
                             " must begin with http:// or https://.");
  }
  const std::string default_port = endpoint.tls ? "443" : "80";
  rest = rest.substr(0, rest.find('/'));
  if (!rest.empty() && rest.front() == '[') {  // [::1]:8765
    size_t close = rest.find(']');
    if (close == std::string_view::npos) throw std::runtime_error("Bad server address " + std::string(base_url));
    endpoint.host = std::string(rest.substr(1, close - 1));
    rest = rest.substr(close + 1);
    endpoint.port = rest.substr(0, 1) == ":" ? std::string(rest.substr(1)) : default_port;
  } else {
    size_t colon = rest.rfind(':');
    endpoint.host = std::string(rest.substr(0, colon));
    endpoint.port = colon == std::string_view::npos ? default_port : std::string(rest.substr(colon + 1));
  }
  if (endpoint.host.empty()) throw std::runtime_error("Bad server address " + std::string(base_url));
  return endpoint;
}

HttpReply Exchange(http::verb verb, std::string_view base_url, std::string_view path,
                   std::string_view body, std::string_view token, const HttpLimits& limits) {
  Endpoint endpoint = ParseBaseUrl(base_url);
  http::request<http::string_body> request{verb, std::string(path), 11};
  request.set(http::field::host, endpoint.host);
  request.set(http::field::connection, "close");
  if (!token.empty()) request.set(http::field::authorization, "Bearer " + std::string(token));
  if (verb == http::verb::post) {
    request.set(http::field::content_type, "application/json");
    request.body() = std::string(body);
    request.prepare_payload();
  }

  // Asynchronous operations, so that the stream's deadlines apply.
  net::io_context io;
  beast::tcp_stream plain(io);
  std::optional<ssl::context> tls_context;
  std::optional<beast::ssl_stream<beast::tcp_stream&>> tls;
  if (endpoint.tls) {
    tls_context.emplace(ssl::context::tls_client);
    SSL_CTX_set_min_proto_version(tls_context->native_handle(), TLS1_2_VERSION);
    beast::error_code ec;
    if (limits.ca_file.empty()) {
      tls_context->set_default_verify_paths(ec);
    } else {
      tls_context->load_verify_file(limits.ca_file, ec);
    }
    if (ec) {
      throw std::runtime_error("Cannot read the certificates to trust " +
                               (limits.ca_file.empty() ? std::string("of this system") : limits.ca_file) + ": " +
                               ec.message());
    }
    tls_context->set_verify_mode(ssl::verify_peer);
    tls.emplace(plain, *tls_context);
    // The certificate must name the host (an address is looked for as one).
    tls->set_verify_callback(ssl::host_name_verification(endpoint.host));
    beast::error_code address_ec;
    net::ip::make_address(endpoint.host, address_ec);
    if (address_ec) SSL_set_tlsext_host_name(tls->native_handle(), endpoint.host.c_str());
  }
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  // A number, never "none": Boost 1.74 compares a length with an empty limit
  // as exceeding it.
  parser.body_limit(limits.max_reply_bytes > 0 ? uint64_t{limits.max_reply_bytes}
                                               : std::numeric_limits<uint64_t>::max());
  beast::error_code failure;
  auto exchange = [&](auto& stream) {
    plain.expires_after(limits.reply_timeout);
    http::async_write(stream, request, [&](beast::error_code write_ec, size_t) {
      if (write_ec) { failure = write_ec; return; }
      // The header first, to refuse a long body before reading it: Boost
      // 1.74's parser lets it through when the header and the whole body
      // arrive in one read.
      http::async_read_header(stream, buffer, parser, [&](beast::error_code header_ec, size_t) {
        if (header_ec) { failure = header_ec; return; }
        if (limits.max_reply_bytes > 0 && parser.content_length().value_or(0) > limits.max_reply_bytes) {
          failure = http::error::body_limit;
          return;
        }
        http::async_read(stream, buffer, parser, [&](beast::error_code read_ec, size_t) { failure = read_ec; });
      });
    });
  };
  tcp::resolver resolver(io);
  resolver.async_resolve(endpoint.host, endpoint.port, [&](beast::error_code ec, tcp::resolver::results_type results) {
    if (ec) { failure = ec; return; }
    plain.expires_after(limits.connect_timeout);
    plain.async_connect(results, [&](beast::error_code connect_ec, const tcp::endpoint&) {
      if (connect_ec) { failure = connect_ec; return; }
      plain.socket().set_option(tcp::no_delay(true), connect_ec);
      ::fcntl(plain.socket().native_handle(), F_SETFD, FD_CLOEXEC);  // never inherited by a started program
      if (!tls) return exchange(plain);
      tls->async_handshake(ssl::stream_base::client, [&](beast::error_code handshake_ec) {
        if (handshake_ec) { failure = handshake_ec; return; }
        exchange(*tls);
      });
    });
  });
  io.run();
  if (failure) {
    throw std::runtime_error("No reply from " + std::string(base_url) + std::string(path) + ": " +
                             failure.message());
  }
  if (limits.max_reply_bytes > 0 && parser.get().body().size() > limits.max_reply_bytes) {
    throw std::runtime_error("No reply from " + std::string(base_url) + std::string(path) + ": " +
                             beast::error_code(http::error::body_limit).message());
  }
  beast::error_code ignored;
  plain.socket().shutdown(tcp::socket::shutdown_both, ignored);
  return HttpReply{static_cast<int>(parser.get().result_int()), std::move(parser.get().body())};
}

}  // namespace

HttpReply HttpPost(std::string_view base_url, std::string_view path, std::string_view body,
                   std::string_view token, const HttpLimits& limits) {
  return Exchange(http::verb::post, base_url, path, body, token, limits);
}

HttpReply HttpGet(std::string_view base_url, std::string_view path, std::string_view token) {
  return Exchange(http::verb::get, base_url, path, {}, token, HttpLimits());
}

HttpReply PostCall(std::string_view base_url, std::string_view method, std::string_view args_json) {
  std::string body = R"({"args":)";
  body.append(args_json);
  body.push_back('}');
  try {
    return HttpPost(base_url, "/rpc/" + std::string(method), body);
  } catch (const std::exception& error) {
    return HttpReply{0, error.what()};
  }
}

}  // namespace lxm::server
