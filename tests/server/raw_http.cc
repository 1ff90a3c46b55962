#include "server/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

namespace lxm::test {

RawConnection::RawConnection(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return;
  }
  // The client side sends each request in one write; leaving Nagle on here
  // keeps the server's own setting the one that decides the latency.
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  fd_ = fd;
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) ::close(fd_);
}

RawReply RawConnection::Post(const std::string& path, const std::string& body,
                             const std::string& token) {
  std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
  request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\n\r\n" + body;
  return Exchange(request);
}

RawReply RawConnection::Get(const std::string& path, const std::string& token) {
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
  return Exchange(request + "\r\n");
}

bool RawConnection::Send(const std::string& bytes) {
  if (fd_ < 0) return false;
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void RawConnection::ShutdownWrite() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

bool RawConnection::ClosedWithin(int timeout_ms) {
  if (fd_ < 0) return true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
  }
}

RawReply RawConnection::Exchange(const std::string& request) {
  // The server may answer (413) before taking it all.
  Send(request);
  return Read();
}

RawReply RawConnection::Read() {
  RawReply reply;
  if (fd_ < 0) return reply;
  auto read_more = [&] {
    char buffer[65536];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(n));
    return true;
  };
  size_t header_end;
  while ((header_end = pending_.find("\r\n\r\n")) == std::string::npos) {
    if (!read_more()) return reply;
  }
  std::string head = pending_.substr(0, header_end);
  pending_.erase(0, header_end + 4);
  size_t line_end = head.find("\r\n");
  std::string status_line = head.substr(0, line_end);
  size_t space = status_line.find(' ');
  reply.status = space == std::string::npos ? 0 : std::atoi(status_line.c_str() + space + 1);
  size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string name = line.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      size_t value_start = line.find_first_not_of(' ', colon + 1);
      reply.headers[name] = value_start == std::string::npos ? "" : line.substr(value_start);
    }
    pos = end + 2;
  }
  size_t length = std::strtoul(reply.headers["content-length"].c_str(), nullptr, 10);
  while (pending_.size() < length) {
    if (!read_more()) break;
  }
  reply.body = pending_.substr(0, length);
  pending_.erase(0, std::min(length, pending_.size()));
  return reply;
}

}  // namespace lxm::test
