// A bare HTTP/1.1 client over one TCP connection, for tests that must see
// exactly what goes over the wire (keep-alive, malformed requests, bodies
// past the limit) without another HTTP library in between.
#ifndef LXM_TESTS_SERVER_RAW_HTTP_H_
#define LXM_TESTS_SERVER_RAW_HTTP_H_

#include <map>
#include <string>

namespace lxm::test {

struct RawReply {
  int status = 0;  // 0 when the connection closed without a reply
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class RawConnection {
 public:
  // Connects to 127.0.0.1:port; `connected()` tells whether it worked.
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Sends a request and reads one reply (its body by Content-Length).
  RawReply Post(const std::string& path, const std::string& body, const std::string& token = "");
  RawReply Get(const std::string& path, const std::string& token = "");
  RawReply Exchange(const std::string& request);

  // The two halves of Exchange. Send() is false once the peer is gone.
  bool Send(const std::string& bytes);
  RawReply Read();
  // Half-closes: the server sees the end of the request stream.
  void ShutdownWrite();
  // Whether the server closes the connection within `timeout_ms` (bytes it
  // sends meanwhile are dropped).
  bool ClosedWithin(int timeout_ms);

 private:
  int fd_ = -1;
  std::string pending_;  // bytes read past the last reply
};

}  // namespace lxm::test

#endif  // LXM_TESTS_SERVER_RAW_HTTP_H_
