#include "server/http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "info/datas_info.h"
#include "server/http_client.h"
#include "server/json_codec.h"
#include "server/raw_http.h"
#include "server/same_value.h"
#include "test_support/account_fixture.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;
using test::RawConnection;
using test::RawReply;

constexpr char kToken[] = "t0ken-for-tests";
constexpr size_t kBodyLimit = 64 * 1024;

// A server on a free loopback port in front of a fresh demo account.
class HttpServerTest : public test::AccountTest {
 protected:
  HttpServerTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    HttpServerOptions options = test::ServerOptionsFor(connect_string_);
    options.token = kToken;
    options.max_body_bytes = kBodyLimit;
    options.workers = 4;
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(), options);
    port_ = server_->port();
  }

  void TearDown() override { server_.reset(); }

  std::string Body(const std::string& dsn, const std::string& rest = "") const {
    std::string body = R"({"args":[)";
    AppendJsonString(dsn, &body);
    return body + rest + "]}";
  }

  RawReply Post(const std::string& path, const std::string& body, const std::string& token = kToken) {
    RawConnection connection(port_);
    return connection.Post(path, body, token);
  }

  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
};

TEST_F(HttpServerTest, AnswersEveryBadInputWithJsonAndKeepsServing) {
  const std::string subsystem = "/rpc/LXMDataFlow.DatasInfo/GetSubSystem";
  const std::string good = Body(Dsn(16394, "en"), ",0");
  test::TempDir elsewhere;
  struct Case {
    const char* name;
    std::string path;
    std::string body;
    std::string token;
    int status;
    const char* kind;  // host errors
    int number;        // automation errors (status 500)
  };
  const Case cases[] = {
      {"malformed JSON", subsystem, R"({"args": [)", kToken, 400, "malformed_json", 0},
      {"body not an object", subsystem, "[1]", kToken, 400, "bad_request", 0},
      {"too few arguments", subsystem, Body(Dsn(16394)), kToken, 400, "bad_arguments", 0},
      {"too many arguments", subsystem, Body(Dsn(16394), ",0,0"), kToken, 400, "bad_arguments", 0},
      {"container for a Long", subsystem, Body(Dsn(16394), R"(,{"a":1})"), kToken, 400, "bad_arguments", 0},
      {"text for a Long", subsystem, Body(Dsn(16394), R"(,"abc")"), kToken, 500, nullptr, 13},
      {"Long overflow", subsystem, Body(Dsn(16394), ",3000000000"), kToken, 500, nullptr, 6},
      {"unknown class", "/rpc/LXMDataFlow.Nope/GetSubSystem", good, kToken, 404, "unknown_class", 0},
      {"unknown method", "/rpc/LXMDataFlow.DatasInfo/GetNothing", good, kToken, 404, "unknown_method", 0},
      {"unknown path", "/other", good, kToken, 404, "not_found", 0},
      {"body too large", subsystem, std::string(kBodyLimit + 1, ' '), kToken, 413, "body_too_large", 0},
      {"database not configured", subsystem,
       Body(MakeDescriptor((elsewhere.path() / "account.db").string(), 16394, "en"), ",0"), kToken, 403,
       "database_not_configured", 0},
      {"command methods", "/rpc/LXMDataFlow.DatasUpdate/ExecCmd", good, kToken, 403, "exec_disabled", 0},
      {"missing token", subsystem, good, "", 401, "unauthorized", 0},
      {"wrong token", subsystem, good, "t0ken-for-test", 401, "unauthorized", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawReply reply = Post(c.path, c.body, c.token);
    ASSERT_EQ(reply.status, c.status) << reply.body;
    EXPECT_EQ(reply.headers["content-type"], "application/json; charset=utf-8");
    Json json = Json::parse(reply.body);
    if (c.kind != nullptr) {
      EXPECT_EQ(json["error"]["kind"], c.kind);
      EXPECT_FALSE(json["error"]["description"].get<std::string>().empty());
    } else {
      EXPECT_EQ(json["error"]["number"], c.number);
      EXPECT_EQ(json["error"]["source"], "LXMDataFlow");
    }
    if (c.status == 401) {
      EXPECT_EQ(reply.headers["www-authenticate"], "Bearer");
    }
  }

  // Still serving, and serving the right thing.
  RawReply reply = Post(subsystem, good);
  ASSERT_EQ(reply.status, 200) << reply.body;
  int32_t top_class = 0;
  Recordset direct = DatasInfo(runtime_).GetSubSystem(Dsn(16394, "en"), top_class);
  EXPECT_TRUE(test::SameValue(ParseValue(reply.body).AsDictionary()->Item("result"), Variant(direct)));
}

TEST_F(HttpServerTest, HealthNeedsNoTokenAndTheTypeLibraryDoes) {
  RawConnection connection(port_);
  RawReply health = connection.Get("/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, R"({"status":"ok"})");
  EXPECT_EQ(connection.Get("/rpc/LXMDataFlow.DatasInfo").status, 401);

  RawReply described = connection.Get("/rpc/LXMDataFlow.DatasInfo", kToken);
  ASSERT_EQ(described.status, 200);
  Json json = Json::parse(described.body);
  bool found = false;
  for (const Json& method : json["methods"]) {
    if (method["name"] != "GetSubSystem") continue;
    found = true;
    EXPECT_EQ(method["params"][1]["name"], "lTopClassID");
    EXPECT_EQ(method["params"][1]["byRef"], true);
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(connection.Get("/rpc/LXMDataFlow.Nope", kToken).status, 404);
  EXPECT_EQ(Json::parse(connection.Get("/rpc", kToken).body)["classes"].size(), 3u);
}

// Replies leave at once on a kept-alive connection: with Nagle's algorithm
// on, each would wait for the client's delayed ACK (about 40 ms).
TEST_F(HttpServerTest, KeepsConnectionsAliveWithoutDelayingReplies) {
  RawConnection connection(port_);
  const std::string body = Body(Dsn(16394));
  auto start = std::chrono::steady_clock::now();
  constexpr int kCalls = 100;
  for (int i = 0; i < kCalls; ++i) {
    RawReply reply = connection.Post("/rpc/LXMDataFlow.clsDataInfo/GetTemplateVer", body, kToken);
    ASSERT_EQ(reply.status, 200) << "call " << i;
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2)) << "delayed replies";
}

TEST_F(HttpServerTest, ClientHelperSpeaksToTheServer) {
  std::string url = "http://127.0.0.1:" + std::to_string(port_);
  HttpReply reply = HttpPost(url, "/rpc/LXMDataFlow.clsDataInfo/GetTemplateVer", Body(Dsn(16394)), kToken);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(Json::parse(reply.body)["result"].get<std::string>().substr(0, 2), "0x");
  EXPECT_EQ(HttpGet(url, "/health").status, 200);
}

// A server whose one method takes a while, to catch shutdown mid-call.
TEST(HttpServerShutdownTest, StopFinishesTheCallsInFlight) {
  TypeLibrary library;
  std::promise<void> started;
  library.Class("Test.Slow").Add({"Wait", {In("sDsn", ValueType::kString)}, ValueType::kString,
                                   [&started](Runtime&, Arguments&) {
                                     started.set_value();
                                     std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                     return Variant("done");
                                   }});
  Runtime runtime;
  HttpServerOptions options;
  options.port = 0;
  options.keep_alive_seconds = 1;
  test::TestServer server(runtime, library, options);
  int port = server.port();

  std::future<RawReply> in_flight = std::async(std::launch::async, [port] {
    RawConnection connection(port);
    return connection.Post("/rpc/Test.Slow/Wait", R"({"args":["d"]})");
  });
  started.get_future().wait();
  server.Stop();  // returns only once the call has been answered

  RawReply reply = in_flight.get();
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, R"({"result":"done"})");
  EXPECT_FALSE(RawConnection(port).connected());
}

TEST(HttpServerLargeReplyTest, SendsAReplyInPiecesWhole) {
  std::vector<Row> rows;
  for (int32_t i = 0; i < 20000; ++i) rows.push_back({Variant(i), Variant("功能项 " + std::to_string(i))});
  const Recordset level({{"FDetailFuncID", FieldType::kInteger}, {"FFuncName", FieldType::kVarWChar}},
                       std::move(rows));
  TypeLibrary library;
  library.Class("Test.Large").Add({"Level", {In("sDsn", ValueType::kString)}, ValueType::kRecordset,
                                   [&level](Runtime&, Arguments&) { return Variant(level); }});
  Runtime runtime;
  HttpServerOptions options;
  options.port = 0;
  options.keep_alive_seconds = 1;
  test::TestServer server(runtime, library, options);
  RawConnection connection(server.port());
  for (int i = 0; i < 2; ++i) {  // the second from the kept text
    RawReply reply = connection.Post("/rpc/Test.Large/Level", R"({"args":["d"]})");
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, R"({"result":)" + *EncodedRecordset(level) + "}");
  }
}

TEST(HttpServerShutdownTest, StopBeforeServeReturnsAtOnce) {
  TypeLibrary library;
  Runtime runtime;
  HttpServerOptions options;
  options.port = 0;
  HttpServer server(runtime, library, options);
  server.Bind();
  server.Stop();
  auto start = std::chrono::steady_clock::now();
  server.Serve();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace lxm::server
