// Refresh components served by another program over HTTP: what the service
// sends, what it makes of each kind of reply, and a walk over several
// subsystems where some callouts fail.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "server/json_codec.h"
#include "server/refresh_callout.h"
#include "test_support/error_matchers.h"
#include "test_support/fake_subsystem_server.h"
#include "update/datas_update.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

RefreshCalloutSettings Callout(const std::string& prog_id, const std::string& url) {
  RefreshCalloutSettings settings;
  settings.prog_id = prog_id;
  settings.url = url;
  settings.timeout_seconds = 1;
  return settings;
}

TEST(RefreshCalloutTest, EachKindOfReplyGivesTheListTheDictionaryOrAnError) {
  using Reply = test::FakeSubsystemServer::Reply;
  test::FakeSubsystemServer server([](const std::string& path, const std::string&) -> Reply {
    if (path == "/list") {
      return {200, R"({"result": [{"FFuncName": "x"}], "out": {"dict": {"FRefreshType": 3, "FSubFuncID": 7}}})"};
    }
    if (path == "/nothing") return {200, R"({"result": null})"};
    if (path == "/error") {
      return {500, R"({"error": {"number": 5, "source": "Sub.Sys", "description": "no list today"}})"};
    }
    if (path == "/slow") return {200, R"({"result": []})", std::chrono::milliseconds(2500)};
    if (path == "/text") return {200, "<html>oops</html>"};
    if (path == "/number") return {200, R"({"result": 42})"};
    if (path == "/large") return {200, R"({"result": [")" + std::string(5000, 'x') + R"("]})"};
    return {404, "{}"};
  });
  struct Case {
    std::string path;
    int32_t error;  // 0: a reply
    std::string description_part;
  };
  const std::vector<Case> cases = {
      {"/large", server::kCalloutFailed, "/large"},
      {"/list", 0, ""},
      {"/nothing", 0, ""},
      {"/error", 5, "no list today"},
      {"/slow", server::kCalloutFailed, "/slow"},
      {"/text", server::kCalloutFailed, "not a JSON reply"},
      {"/number", server::kCalloutFailed, "not a list"},
      {"/large", server::kCalloutFailed, "/large"},
      {"/missing", server::kCalloutFailed, "neither a result nor an error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RefreshCalloutSettings settings = Callout("Remote.Sub", server.Url(c.path));
    settings.max_reply_bytes = 1000;
    server::HttpRefreshComponent component(settings);
    auto dict = Dictionary::Create();
    dict->Set("FSubSysID", Variant(1002));
    Variant dictionary(dict);
    Variant result;
    auto error = test::ErrorOf([&] { result = component.GetRefreshFunc(dictionary); });
    if (c.error != 0) {
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->number(), c.error);
      EXPECT_EQ(error->source(), c.error == 5 ? "Sub.Sys" : "Remote.Sub");
      EXPECT_NE(error->description().find(c.description_part), std::string::npos) << error->description();
      EXPECT_EQ(dictionary.AsDictionary(), dict);
    } else {
      ASSERT_FALSE(error.has_value()) << error->what();
    }
  }
  // What went out: the dictionary as the only argument, in the wire format.
  Variant sent = server::ParseValue(server.Bodies().front());
  EXPECT_EQ(server::EncodeValue(sent), R"({"args":[{"FSubSysID":1002}]})");

  // The list and the changed dictionary come back.
  server::HttpRefreshComponent component(Callout("Remote.Sub", server.Url("/list")));
  Variant dictionary(Dictionary::Create());
  Variant result = component.GetRefreshFunc(dictionary);
  ASSERT_EQ(result.kind(), VariantKind::kVector);
  EXPECT_EQ(result.AsVector()->Item(1).AsDictionary()->Item("FFuncName"), Variant("x"));
  EXPECT_EQ(dictionary.AsDictionary()->Item("FSubFuncID"), Variant(7));

  // Nobody listening.
  server::HttpRefreshComponent nobody(Callout("Remote.Sub", "http://127.0.0.1:1/x"));
  EXPECT_EQ(test::ErrorNumberOf([&] { nobody.GetRefreshFunc(dictionary); }), server::kCalloutFailed);
}

class RefreshCalloutWalkTest : public test::UpdateTest {};

TEST_F(RefreshCalloutWalkTest, FailingCalloutsAreSkippedAndTheNextSubsystemIsStillRefreshed) {
  using Reply = test::FakeSubsystemServer::Reply;
  test::FakeSubsystemServer server([](const std::string& path, const std::string& body) -> Reply {
    if (path == "/slow") return {200, R"({"result": []})", std::chrono::milliseconds(2500)};
    if (path == "/garbage") return {200, "}{"};
    // The list names the subsystem it was asked for.
    Variant request = server::ParseValue(body);
    std::string id = CStr(request.AsDictionary()->Item("args").AsVector()->Item(1).AsDictionary()->Item("FSubSysID"));
    return {200, R"({"result": [{"FFuncName": "from )" + id + R"("}, {"FFuncName": "two"}]})"};
  });
  Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FClassName, FRefresh) VALUES "
       "(1002, 1, 'A', 'Remote.Good', 1), (1003, 1, 'B', 'Remote.Slow', 1), (1004, 1, 'C', 'Remote.Garbage', 1), "
       "(1005, 1, 'D', 'remote.good', 1)");
  Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FFuncName) VALUES (100301, 1003, 'kept'), "
       "(100401, 1004, 'kept'), (100501, 1005, 'old')");

  // The callouts come with the runtime's options, as the server's
  // configuration gives them.
  RuntimeOptions options;
  options.refresh_callouts = {Callout("Remote.Good", server.Url("/good")), Callout("Remote.Slow", server.Url("/slow")),
                              Callout("Remote.Garbage", server.Url("/garbage"))};
  Runtime runtime(options);
  auto before = Stamps();
  DatasUpdate(runtime).RefreshActivFunc(Dsn(5));

  Recordset rows = Query("SELECT FSubFuncID, FFuncName FROM t_DataFlowSubFunc WHERE FSubSysID > 1001 "
                         "ORDER BY FSubFuncID");
  std::vector<std::string> seen;
  for (; !rows.Eof(); rows.MoveNext()) seen.push_back(CStr(rows.Value("FSubFuncID")) + " " + CStr(rows.Value("FFuncName")));
  EXPECT_EQ(seen, (std::vector<std::string>{"100201 from 1002", "100202 two", "100301 kept", "100401 kept",
                                            "100501 from 1005", "100502 two"}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

}  // namespace
}  // namespace lxm
