#include "test_support/fake_subsystem_server.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace lxm::test {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

FakeSubsystemServer::FakeSubsystemServer(Handler handler)
    : handler_(std::move(handler)), acceptor_(io_, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0)) {
  port_ = acceptor_.local_endpoint().port();
  thread_ = std::thread([this] { Run(); });
}

FakeSubsystemServer::~FakeSubsystemServer() {
  stopping_ = true;
  beast::error_code ignored;
  tcp::socket wake(io_);
  wake.connect(acceptor_.local_endpoint(), ignored);
  thread_.join();
  for (std::thread& worker : workers_) worker.join();
}

std::string FakeSubsystemServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> FakeSubsystemServer::Bodies() {
  std::lock_guard<std::mutex> lock(mutex_);
  return bodies_;
}

void FakeSubsystemServer::Run() {
  while (true) {
    tcp::socket socket(io_);
    beast::error_code ec;
    acceptor_.accept(socket, ec);
    if (stopping_) return;
    if (ec) continue;
    workers_.emplace_back([this, connection = std::move(socket)]() mutable { Serve(std::move(connection)); });
  }
}

void FakeSubsystemServer::Serve(tcp::socket socket) {
  beast::error_code ec;
  beast::flat_buffer buffer;
  http::request<http::string_body> request;
  http::read(socket, buffer, request, ec);
  if (ec) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bodies_.push_back(request.body());
  }
  Reply reply = handler_(std::string(request.target()), request.body());
  std::this_thread::sleep_for(reply.delay);
  http::response<http::string_body> response{static_cast<http::status>(reply.status), 11};
  response.set(http::field::content_type, "application/json");
  response.body() = reply.body;
  response.prepare_payload();
  http::write(socket, response, ec);
  socket.shutdown(tcp::socket::shutdown_both, ec);
}

}  // namespace lxm::test
