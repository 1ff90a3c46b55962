// The host against slow, idle, hostile and careless clients: deadlines, the
// connection limit, HTTP framing errors, and stopping whatever clients do.
// Every wait is bounded; a server that lets a client hold it fails here
// instead of hanging.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/http_server.h"
#include "server/raw_http.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using test::RawConnection;
using test::RawReply;
using Clock = std::chrono::steady_clock;

constexpr char kToken[] = "limits-token";

TypeLibrary EchoLibrary() {
  TypeLibrary library;
  library.Class("Test.Echo").Add({"Same", {In("sDsn", ValueType::kString)}, ValueType::kString,
                                  [](Runtime&, Arguments& args) { return args[0]; }});
  return library;
}

int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Echo(const std::string& text, const std::string& extra_headers = "") {
  std::string body = R"({"args":[")" + text + R"("]})";
  return "POST /rpc/Test.Echo/Same HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
         "Authorization: Bearer " +
         std::string(kToken) + "\r\n" + extra_headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class HttpLimitsTest : public ::testing::Test {
 protected:
  void Start(HttpServerOptions options) {
    options.port = 0;
    options.token = kToken;
    server_ = std::make_unique<test::TestServer>(runtime_, library_, options);
    port_ = server_->port();
  }

  // Stops the server; how long Serve() took to return after Stop().
  int64_t StopServer() {
    if (!server_) return 0;
    auto start = Clock::now();
    server_->Stop();
    server_.reset();
    return MillisecondsSince(start);
  }

  void TearDown() override { StopServer(); }

  Runtime runtime_;
  TypeLibrary library_ = EchoLibrary();
  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
};

// Slow and stalled clients hold no worker: with two workers and twelve
// connections that never finish their requests, /health and calls answer at
// once; the stalled requests are cut off at the request deadline (even one
// that keeps sending a header line now and then), idle connections at the
// shorter keep-alive deadline, and Stop() does not wait for any of them.
TEST_F(HttpLimitsTest, SlowClientsHoldNoWorkerAndAreCutOffAtTheirDeadlines) {
  HttpServerOptions options;
  options.workers = 2;
  options.request_timeout_seconds = 2;
  options.keep_alive_seconds = 1;
  Start(options);

  std::vector<std::unique_ptr<RawConnection>> stalled;
  for (int i = 0; i < 12; ++i) {
    stalled.push_back(std::make_unique<RawConnection>(port_));
    ASSERT_TRUE(stalled.back()->connected());
    std::string request = Echo("slow");
    // Half of them stop inside the headers, half inside the body.
    stalled.back()->Send(request.substr(0, i % 2 == 0 ? 40 : request.size() - 5));
  }
  auto start = Clock::now();
  RawConnection dripping(port_);
  dripping.Send("POST /rpc/Test.Echo/Same HTTP/1.1\r\n");
  std::thread drip([&dripping] {
    for (int i = 0; i < 30 && dripping.Send("X-Slow: 1\r\n"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  });

  {
    auto asked = Clock::now();
    RawConnection health(port_);
    EXPECT_EQ(health.Get("/health").status, 200);
    RawConnection call(port_);
    RawReply reply = call.Exchange(Echo("fast"));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, R"({"result":"fast"})");
    EXPECT_LT(MillisecondsSince(asked), 1000) << "a slow client held a worker";

    // Kept alive, then closed when idle past the keep-alive deadline.
    auto idle_from = Clock::now();
    EXPECT_TRUE(call.ClosedWithin(3000));
    EXPECT_GE(MillisecondsSince(idle_from), 800);
    EXPECT_LT(MillisecondsSince(idle_from), 2500);
  }

  // The request deadline counts from the first byte, however often more
  // bytes come.
  EXPECT_TRUE(dripping.ClosedWithin(4000));
  EXPECT_LT(MillisecondsSince(start), 3500);
  drip.join();
  for (auto& connection : stalled) EXPECT_TRUE(connection->ClosedWithin(1500));

  // New stalled clients do not delay stopping.
  std::vector<std::unique_ptr<RawConnection>> more;
  for (int i = 0; i < 8; ++i) {
    more.push_back(std::make_unique<RawConnection>(port_));
    more.back()->Send("POST /rpc/Test.Echo/Same HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LT(StopServer(), 1000);
  EXPECT_FALSE(RawConnection(port_).connected());
}

// Past the connection limit a client is answered 503 at once and closed;
// once a connection closes, a new one is served.
TEST_F(HttpLimitsTest, ConnectionsPastTheLimitAreRefusedAtOnce) {
  HttpServerOptions options;
  options.max_connections = 3;
  options.keep_alive_seconds = 30;
  Start(options);
  std::vector<std::unique_ptr<RawConnection>> open;
  for (int i = 0; i < 3; ++i) {
    open.push_back(std::make_unique<RawConnection>(port_));
    ASSERT_EQ(open.back()->Get("/health").status, 200);
  }
  auto start = Clock::now();
  RawConnection excess(port_);
  RawReply refused = excess.Read();  // sent nothing: the server speaks first
  EXPECT_EQ(refused.status, 503);
  EXPECT_NE(refused.body.find("too_many_connections"), std::string::npos);
  EXPECT_TRUE(excess.ClosedWithin(1000));
  EXPECT_LT(MillisecondsSince(start), 1000);

  open.pop_back();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  RawConnection again(port_);
  EXPECT_EQ(again.Get("/health").status, 200);
}

// Framing: limits hold for chunked bodies, no body is read without the
// token, ambiguous lengths are refused and close the connection; pipelined
// requests are answered in order, Range is ignored, and a client that
// half-closes after its request still gets the reply.
TEST_F(HttpLimitsTest, FramingErrorsAreRefusedAndWellFormedRequestsAnswered) {
  HttpServerOptions options;
  options.max_body_bytes = 1000;
  options.request_timeout_seconds = 5;
  Start(options);
  const std::string head =
      "POST /rpc/Test.Echo/Same HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
      "Authorization: Bearer " +
      std::string(kToken) + "\r\n";
  std::string chunks;
  for (int i = 0; i < 3; ++i) chunks += "190\r\n" + std::string(400, ' ') + "\r\n";  // 3 x 400 bytes
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const Case cases[] = {
      {"chunked body past the limit in small chunks",
       head + "Transfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n", 413},
      {"no token, body not sent (must not be waited for)",
       "POST /rpc/Test.Echo/Same HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
       "Content-Length: 900\r\n\r\n",
       401},
      {"declared length past the limit, body not sent", head + "Content-Length: 5000\r\n\r\n", 413},
      {"two different lengths", head + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n12345", 400},
      {"length that is no number", head + "Content-Length: 5x\r\n\r\n12345", 400},
      {"negative length", head + "Content-Length: -5\r\n\r\n12345", 400},
      {"chunked and a length",
       head + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n12345\r\n0\r\n\r\n", 400},
      // A request hidden in a body that is not read must never run.
      {"another coding, no length", head + "Transfer-Encoding: gzip\r\n\r\n" + Echo("smuggled"), 400},
      {"a coding like chunked", head + "Transfer-Encoding: xchunked\r\n\r\n" + Echo("smuggled"), 400},
      {"another coding and a length",
       head + "Transfer-Encoding: gzip\r\nContent-Length: 5\r\n\r\n12345" + Echo("smuggled"), 400},
      {"chunked after another coding",
       head + "Transfer-Encoding: gzip, chunked\r\n\r\n5\r\n12345\r\n0\r\n\r\n" + Echo("smuggled"), 400},
      {"two coding fields",
       head + "Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n\r\n0\r\n\r\n" + Echo("smuggled"), 400},
      {"two Authorization fields",
       head + "Authorization: Bearer other\r\nContent-Length: 2\r\n\r\n{}" + Echo("smuggled"), 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection connection(port_);
    auto start = Clock::now();
    RawReply reply = connection.Exchange(c.request);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    EXPECT_NE(reply.body.find("\"error\""), std::string::npos);
    EXPECT_TRUE(connection.ClosedWithin(1000));
    EXPECT_LT(MillisecondsSince(start), 1500);
  }

  {
    SCOPED_TRACE("a chunked body within the limit");
    RawConnection connection(port_);
    std::string body = R"({"args":["chunked"]})";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    RawReply reply = connection.Exchange(head + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" +
                                         body + "\r\n0\r\n\r\n");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, R"({"result":"chunked"})");
  }
  {
    SCOPED_TRACE("pipelined, with Range");
    RawConnection connection(port_);
    ASSERT_TRUE(connection.Send(Echo("one") + Echo("two", "Range: bytes=0-3\r\n") + Echo("three")));
    for (const char* expected : {"one", "two", "three"}) {
      RawReply reply = connection.Read();
      EXPECT_EQ(reply.status, 200);
      EXPECT_EQ(reply.body, std::string(R"({"result":")") + expected + R"("})");
      EXPECT_EQ(reply.headers.count("content-range"), 0u);
    }
  }
  {
    SCOPED_TRACE("half-closed after the request");
    RawConnection connection(port_);
    ASSERT_TRUE(connection.Send(Echo("half")));
    connection.ShutdownWrite();
    RawReply reply = connection.Read();
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, R"({"result":"half"})");
  }
}


// Short calls may run on the I/O thread that read them; calls of a method
// that has been slow stay on the workers. With one I/O thread and such a
// call waiting, /health and a quick method are still answered.
TEST(HttpCallPlacementTest, CallsOfASlowMethodLeaveTheIoThreadFree) {
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  TypeLibrary library = EchoLibrary();
  library.Class("Test.Slow").Add({"Wait", {In("sDsn", ValueType::kString)}, ValueType::kString,
                                   [&](Runtime&, Arguments& args) {
                                     if (args[0] == Variant("block")) {
                                       started.set_value();
                                       released.wait_for(std::chrono::seconds(20));
                                     } else {
                                       std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                     }
                                     return args[0];
                                   }});
  Runtime runtime;
  HttpServerOptions options;
  options.port = 0;
  options.io_threads = 1;
  options.workers = 2;
  test::TestServer server(runtime, library, options);
  const int port = server.port();

  // Enough calls for the server to know which method is quick and which not.
  RawConnection warm(port);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(warm.Post("/rpc/Test.Slow/Wait", R"({"args":["nap"]})").status, 200);
    ASSERT_EQ(warm.Post("/rpc/Test.Echo/Same", R"({"args":["quick"]})").status, 200);
  }

  std::future<RawReply> waiting = std::async(std::launch::async, [port] {
    RawConnection connection(port);
    return connection.Post("/rpc/Test.Slow/Wait", R"({"args":["block"]})");
  });
  started.get_future().wait();
  // A blocked I/O thread would leave these unanswered (the client gives up
  // after 10 s and sees no status).
  RawConnection other(port);
  EXPECT_EQ(other.Get("/health").status, 200);
  RawReply quick = other.Post("/rpc/Test.Echo/Same", R"({"args":["quick"]})");
  EXPECT_EQ(quick.status, 200);
  EXPECT_EQ(quick.body, R"({"result":"quick"})");
  release.set_value();

  RawReply blocked = waiting.get();
  EXPECT_EQ(blocked.status, 200);
  EXPECT_EQ(blocked.body, R"({"result":"block"})");
}


// One user's burst takes neither the workers others' reads need nor the
// memory: writes run on workers of their own, a user's calls beyond the
// bound are answered 429 with Retry-After, and a body that would take the
// server past its bound of buffered bytes is refused 503 before it is read.
TEST(HttpCallPlacementTest, OneUsersBurstTakesNeitherTheReadWorkersNorTheMemory) {
  std::atomic<int> holding = 0;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto hold = [&](Runtime&, Arguments& args) {
    ++holding;
    released.wait_for(std::chrono::seconds(20));
    return args[0];
  };
  TypeLibrary library = EchoLibrary();
  library.Class("LXMDataFlow.DatasUpdate").Add({"Hold", {In("sDsn", ValueType::kString)}, ValueType::kString, hold});
  library.Class("Test.Read").Add({"Hold", {In("sDsn", ValueType::kString)}, ValueType::kString, hold});
  library.Class("Test.Read").Add({"Quick", {In("sDsn", ValueType::kString)}, ValueType::kString,
                                   [](Runtime&, Arguments& args) { return args[0]; }});
  Runtime runtime;
  HttpServerOptions options;
  options.port = 0;
  options.workers = 2;
  options.write_workers = 2;
  options.max_calls_per_user = 1;
  options.max_buffered_bytes = size_t{1} << 20;
  test::TestServer server(runtime, library, options);
  const int port = server.port();
  auto post = [port](const std::string& path, int user) {
    return std::async(std::launch::async, [port, path, user] {
      RawConnection connection(port);
      return connection.Post(path, R"({"args":["UserID=)" + std::to_string(user) + R"("]})");
    });
  };
  auto wait_for_holders = [&](int count) {
    for (int i = 0; i < 500 && holding < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(holding, count);
  };

  // Three writers: two hold both write workers, one waits for them.
  std::vector<std::future<RawReply>> writes;
  for (int user = 1; user <= 3; ++user) writes.push_back(post("/rpc/LXMDataFlow.DatasUpdate/Hold", user));
  wait_for_holders(2);
  RawConnection reader(port);
  EXPECT_EQ(reader.Post("/rpc/Test.Read/Quick", R"({"args":["UserID=9"]})").status, 200);

  // A user's second call while the first runs.
  std::future<RawReply> first = post("/rpc/Test.Read/Hold", 5);
  wait_for_holders(3);
  RawReply second = reader.Post("/rpc/Test.Read/Quick", R"({"args":["UserID=5"]})");
  EXPECT_EQ(second.status, 429) << second.body;
  EXPECT_EQ(second.headers["retry-after"], "1");
  EXPECT_NE(second.body.find("too_many_calls"), std::string::npos);
  EXPECT_EQ(reader.Post("/rpc/Test.Read/Quick", R"({"args":["UserID=6"]})").status, 200);

  // Bodies: one arriving holds most of the bound, the next large one is
  // refused unread, small ones go on.
  const std::string large = R"({"args":["UserID=7"]})" + std::string(700 << 10, ' ');
  auto request = [](const std::string& body) {
    return "POST /rpc/Test.Read/Quick HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  auto arriving = std::make_unique<RawConnection>(port);
  ASSERT_TRUE(arriving->Send(request(large).substr(0, 2000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RawConnection refused(port);
  RawReply busy = refused.Exchange(request(large));
  EXPECT_EQ(busy.status, 503) << busy.body;
  EXPECT_EQ(busy.headers["retry-after"], "1");
  EXPECT_NE(busy.body.find("server_busy"), std::string::npos);
  EXPECT_EQ(reader.Post("/rpc/Test.Read/Quick", R"({"args":["UserID=8"]})").status, 200);
  arriving.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RawConnection later(port);
  EXPECT_EQ(later.Exchange(request(large)).status, 200);

  release.set_value();
  for (auto& write : writes) EXPECT_EQ(write.get().status, 200);
  EXPECT_EQ(first.get().status, 200);
}

}  // namespace
}  // namespace lxm::server
