// The web page as the host serves it: its files without a token and under a
// strict Content-Security-Policy, /config behind the token, everything else
// as before.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/db/connect_string.h"
#include "platform/db/redacted_connect_string.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/page_config.h"
#include "server/raw_http.h"
#include "test_support/account_fixture.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;
using test::RawConnection;
using test::RawReply;

constexpr char kToken[] = "page-t0ken";
constexpr int kExampleUser = 16394;

class WebPageTest : public test::AccountTest {
 protected:
  WebPageTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    HttpServerOptions options = test::ServerOptionsFor(connect_string_);
    options.token = kToken;
    options.example_user = kExampleUser;
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(), options);
  }
  void TearDown() override { server_.reset(); }

  std::unique_ptr<test::TestServer> server_;
};

TEST_F(WebPageTest, ServesThePageOpenlyAndTheRestBehindTheToken) {
  struct Case {
    const char* method;
    const char* path;
    const char* token;
    int status;
    const char* content_type;  // prefix; empty: not checked
    const char* body_holds;    // empty: not checked
    bool page_headers;         // the CSP and its companions
  };
  const Case cases[] = {
      {"GET", "/", "", 200, "text/html; charset=utf-8", R"(<script type="module" src="/app.js">)", true},
      {"GET", "/?user=1", "", 200, "text/html", "<title>", true},
      {"GET", "/app.js", "", 200, "text/javascript; charset=utf-8", "GetUserTemplateVer", true},
      {"GET", "/app.css", "", 200, "text/css; charset=utf-8", ".tree", true},
      {"GET", "/favicon.svg", "", 200, "image/svg+xml", "<svg", true},
      // Not a file of the page: the token is asked for first, then the path is unknown.
      {"GET", "/app2.js", "", 401, "application/json", "unauthorized", false},
      {"GET", "/app2.js", kToken, 404, "application/json", "not_found", false},
      {"POST", "/", "", 401, "application/json", "unauthorized", false},
      {"POST", "/", kToken, 404, "application/json", "not_found", false},
      {"GET", "/config", "", 401, "application/json", "unauthorized", false},
      {"GET", "/health", "", 200, "application/json", R"({"status":"ok"})", false},
      {"GET", "/rpc", "", 401, "application/json", "unauthorized", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path + (c.token[0] ? " with the token" : ""));
    RawConnection connection(server_->port());
    std::string request = std::string(c.method) + " " + c.path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (c.token[0]) request += std::string("Authorization: Bearer ") + c.token + "\r\n";
    if (std::string(c.method) == "POST") request += "Content-Length: 0\r\n";
    RawReply reply = connection.Exchange(request + "\r\n");
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.headers["content-type"].rfind(c.content_type, 0), 0u) << reply.headers["content-type"];
    EXPECT_NE(reply.body.find(c.body_holds), std::string::npos) << reply.body.substr(0, 200);
    if (c.page_headers) {
      EXPECT_EQ(reply.headers["content-security-policy"],
                "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
                "frame-ancestors 'none'");
      EXPECT_EQ(reply.headers["x-content-type-options"], "nosniff");
    } else {
      EXPECT_EQ(reply.headers.count("content-security-policy"), 0u);
    }
  }
}

TEST_F(WebPageTest, ConfigNamesTheServedDatabaseAndTheExampleUser) {
  RawConnection connection(server_->port());
  RawReply reply = connection.Get("/config", kToken);
  ASSERT_EQ(reply.status, 200);
  Json config = Json::parse(reply.body);
  ASSERT_EQ(config["databases"].size(), 1u);
  // The text the allow-list holds, its password (if any) shown as "***":
  // a descriptor naming it passes all the same.
  std::string shown = config["databases"][0]["connectString"];
  EXPECT_EQ(shown, RedactedConnectString(ParseConnectString(connect_string_)));
  std::string body = R"({"args":[)";
  AppendJsonString("ConnectString={" + shown + "};UserID=1", &body);
  body += "]}";
  EXPECT_EQ(connection.Post("/rpc/LXMDataFlow.clsDataInfo/GetTemplateVer", body, kToken).status, 200);
  EXPECT_FALSE(config["databases"][0]["name"].get<std::string>().empty());
  EXPECT_EQ(config["exampleUser"], kExampleUser);
  EXPECT_EQ(config["tokenRequired"], true);
}

// No password leaves the server, token or not: calls name the database
// with "***" and the host connects with its own credentials.
TEST(PageConfigTest, NeverGivesAPassword) {
  constexpr char kSQLite[] = "Provider=SQLite;Data Source=/srv/lxm/account.db";
  constexpr char kPostgres[] = "Provider=PostgreSQL;Host=/run/pg;Port=5432;Database=acct;User ID=lxm;Password=s3cret";
  DispatcherOptions options;
  options.databases.emplace();
  options.databases->Add(kSQLite);
  options.databases->Add(kPostgres);
  for (bool token_required : {true, false}) {
    SCOPED_TRACE(token_required ? "with a token" : "without a token");
    std::string text = PageConfigReply(options, 7, token_required).body;
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    Json config = Json::parse(text);
    ASSERT_EQ(config["databases"].size(), 2u);
    EXPECT_EQ(config["databases"][0]["connectString"], kSQLite);
    EXPECT_EQ(config["databases"][0]["name"], "account.db");
    EXPECT_EQ(config["databases"][1]["connectString"],
              "Provider=PostgreSQL;Host=/run/pg;Port=5432;Database=acct;User ID=lxm;Password=***");
    EXPECT_EQ(config["databases"][1]["name"], "acct");
    EXPECT_EQ(config["exampleUser"], 7);
    EXPECT_EQ(config["tokenRequired"], token_required);
  }
}

}  // namespace
}  // namespace lxm::server
