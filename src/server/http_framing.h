// The HTTP framing the host writes and accepts: the head of every reply,
// written by hand (every reply has the same few fields), and the requests
// whose framing another reader on the way might take otherwise.
#ifndef LXM_SERVER_HTTP_FRAMING_H_
#define LXM_SERVER_HTTP_FRAMING_H_

#include <cstddef>
#include <string>
#include <string_view>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

namespace lxm::server {

// The response head into `head`, ending with the blank line.
void ResponseHead(int status, std::string_view content_type, size_t length, bool keep_alive, bool http10,
                  std::string_view extra_fields, std::string* head);

// Why a request's framing may be read otherwise by another reader on its
// way (RFC 9112 section 6.3), or empty when it is sound: a transfer coding
// other than chunked alone (this server decodes no other, and a body it did
// not see would be read as the next request), or two Authorization fields.
std::string FramingFault(const boost::beast::http::request<boost::beast::http::string_body>& request);

}  // namespace lxm::server

#endif  // LXM_SERVER_HTTP_FRAMING_H_
