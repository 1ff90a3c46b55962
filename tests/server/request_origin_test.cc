// Web pages of other sites and names rebound to this machine, as a browser
// would send them to a host without a token (the demo's set-up): what is
// refused never reaches a method.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "server/http_server.h"
#include "server/raw_http.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using test::RawConnection;
using test::RawReply;

std::atomic<int> calls_run{0};

TypeLibrary CountingLibrary() {
  TypeLibrary library;
  library.Class("Test.Count").Add({"Add", {In("sDsn", ValueType::kString)}, ValueType::kString,
                                   [](Runtime&, Arguments& args) {
                                     ++calls_run;
                                     return args[0];
                                   }});
  return library;
}

TEST(RequestOriginTest, OnlyTheServersOwnPagesAndNamesGetIn) {
  Runtime runtime;
  TypeLibrary library = CountingLibrary();
  HttpServerOptions options;
  options.port = 0;
  options.origins.allowed_origins = {"https://portal.example.com"};
  options.origins.server_names = {"erp.example.com"};
  test::TestServer server(runtime, library, options);
  const std::string port = std::to_string(server.port());
  const std::string own = "127.0.0.1:" + port;
  const std::string json = "Content-Type: application/json\r\n";
  const std::string body = R"({"args":["x"]})";
  auto call = [&](const std::string& headers) {
    return "POST /rpc/Test.Count/Add HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
  };
  auto get = [&](const std::string& path, const std::string& headers) {
    return "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n";
  };
  struct Case {
    const char* name;
    std::string request;
    int status;
    bool runs;
    std::string allow_origin;  // the Access-Control-Allow-Origin expected, if any
  };
  const Case cases[] = {
      {"own page", call("Host: " + own + "\r\nOrigin: http://" + own + "\r\nSec-Fetch-Site: same-origin\r\n" + json),
       200, true, ""},
      {"a client without a browser", call("Host: " + own + "\r\n" + json), 200, true, ""},
      {"JSON with its charset", call("Host: " + own + "\r\nContent-Type: Application/JSON; charset=utf-8\r\n"), 200,
       true, ""},
      {"a loopback name", call("Host: localhost:" + port + "\r\nOrigin: http://localhost:" + port + "\r\n" + json),
       200, true, ""},
      {"an IPv6 address", call("Host: [::1]:" + port + "\r\n" + json), 200, true, ""},
      {"a listed name", call("Host: erp.example.com\r\n" + json), 200, true, ""},
      {"its page served by a proxy over HTTPS",
       call("Host: erp.example.com\r\nOrigin: https://erp.example.com\r\n" + json), 200, true, ""},
      {"a listed site's page",
       call("Host: " + own + "\r\nOrigin: https://portal.example.com\r\nSec-Fetch-Site: cross-site\r\n" + json), 200,
       true, "https://portal.example.com"},
      {"another site's page", call("Host: " + own + "\r\nOrigin: http://evil.example\r\n" + json), 403, false, ""},
      {"a page of no origin", call("Host: " + own + "\r\nOrigin: null\r\n" + json), 403, false, ""},
      {"another port of this host", call("Host: " + own + "\r\nOrigin: http://127.0.0.1:1\r\n" + json), 403, false,
       ""},
      {"a form of another site",
       call("Host: " + own + "\r\nContent-Type: text/plain\r\nSec-Fetch-Site: cross-site\r\n"), 403, false, ""},
      {"plain text from no browser", call("Host: " + own + "\r\nContent-Type: text/plain\r\n"), 415, false, ""},
      {"no type at all", call("Host: " + own + "\r\n"), 415, false, ""},
      {"a rebound name", call("Host: evil.example:" + port + "\r\n" + json), 421, false, ""},
      {"no Host", call(json), 400, false, ""},
      {"a rebound name reading the settings", get("/config", "Host: evil.example:" + port + "\r\n"), 421, false, ""},
      {"another site's script reading the classes",
       get("/rpc", "Host: " + own + "\r\nSec-Fetch-Site: cross-site\r\n"), 403, false, ""},
      {"the page from another site's link", get("/", "Host: " + own + "\r\nSec-Fetch-Site: cross-site\r\n"), 200,
       false, ""},
      {"health under any name", get("/health", "Host: backend-7\r\n"), 200, false, ""},
      {"a listed site's preflight",
       "OPTIONS /rpc/Test.Count/Add HTTP/1.1\r\nHost: " + own +
           "\r\nOrigin: https://portal.example.com\r\nAccess-Control-Request-Method: POST\r\n\r\n",
       200, false, "https://portal.example.com"},
      {"another site's preflight",
       "OPTIONS /rpc/Test.Count/Add HTTP/1.1\r\nHost: " + own +
           "\r\nOrigin: http://evil.example\r\nAccess-Control-Request-Method: POST\r\n\r\n",
       403, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection connection(server.port());
    int before = calls_run.load();
    RawReply reply = connection.Exchange(c.request);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    EXPECT_EQ(calls_run.load() - before, c.runs ? 1 : 0);
    EXPECT_EQ(reply.headers["access-control-allow-origin"], c.allow_origin);
    if (c.status >= 400) {
      EXPECT_NE(reply.body.find("\"kind\""), std::string::npos) << reply.body;
    }
    if (!c.allow_origin.empty() && c.request.rfind("OPTIONS", 0) == 0) {
      EXPECT_EQ(reply.headers["access-control-allow-headers"], "Authorization, Content-Type");
    }
  }
}

}  // namespace
}  // namespace lxm::server
