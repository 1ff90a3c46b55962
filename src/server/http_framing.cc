#include "server/http_framing.h"

#include <boost/beast/http/status.hpp>

#include "platform/text_util.h"

namespace lxm::server {

namespace http = boost::beast::http;

namespace {

std::string_view Std(boost::beast::string_view text) { return {text.data(), text.size()}; }

}  // namespace

void ResponseHead(int status, std::string_view content_type, size_t length, bool keep_alive, bool http10,
                  std::string_view extra_fields, std::string* head) {
  head->assign("HTTP/1.1 ");
  head->append(std::to_string(status));
  head->push_back(' ');
  head->append(Std(http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status)))));
  head->append("\r\nContent-Type: ");
  head->append(content_type);
  head->append("\r\nContent-Length: ");
  head->append(std::to_string(length));
  head->append("\r\n");
  if (!keep_alive) {
    head->append("Connection: close\r\n");
  } else if (http10) {
    head->append("Connection: keep-alive\r\n");
  }
  head->append(extra_fields);
  head->append("\r\n");
}

std::string FramingFault(const http::request<http::string_body>& request) {
  const size_t codings = request.count(http::field::transfer_encoding);
  if (codings > 1 ||
      (codings == 1 && !EqualsIgnoreCase(TrimSpaces(Std(request[http::field::transfer_encoding])), "chunked"))) {
    return "The request's Transfer-Encoding is not supported: this server reads \"chunked\" alone.";
  }
  if (request.count(http::field::authorization) > 1) return "The request carries more than one Authorization field.";
  return {};
}

}  // namespace lxm::server
