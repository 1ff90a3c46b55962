// A user's layout travels over HTTP: exported by one user, sent back as it
// came, imported by another; and the containers a client may get wrong.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/com_error.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/raw_http.h"
#include "test_support/account_fixture.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;

constexpr int32_t kExporter = 16394;  // the demo user with the most own rows
constexpr int32_t kImporter = 16396;
constexpr const char* kLevels[] = {"TopClass", "SubSystem", "SubFunc", "DetailFunc"};

class LayoutOverHttpTest : public test::AccountTest {
 protected:
  LayoutOverHttpTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(),
                                                 test::ServerOptionsFor(connect_string_));
    port_ = server_->port();
  }

  void TearDown() override {
    connection_.reset();
    server_.reset();
  }

  // A call with the user's descriptor first and `rest` (JSON) after it.
  test::RawReply Call(const std::string& path, int32_t user, const std::string& rest = "") {
    std::string body = R"({"args":[)";
    AppendJsonString(Dsn(user, "en"), &body);
    return connection_->Post("/rpc/" + path, body + rest + "]}");
  }

  // The four levels of the user's GetUserData, as the server sends them.
  Json UserLevels(int32_t user) {
    test::RawReply reply = Call("LXMDataFlow.clsDataInfo/GetUserData", user);
    EXPECT_EQ(reply.status, 200) << reply.body;
    Json result = Json::parse(reply.body)["result"];
    Json levels = Json::object();
    for (const char* level : kLevels) levels[level] = result[level];
    return levels;
  }

  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
  std::unique_ptr<test::RawConnection> connection_;
};

TEST_F(LayoutOverHttpTest, ALayoutSentBackAsItCameGivesTheSecondUserTheSameTree) {
  connection_ = std::make_unique<test::RawConnection>(port_);
  ASSERT_NE(UserLevels(kImporter), UserLevels(kExporter));

  test::RawReply exported = Call("LXMDataFlow.DatasInfo/ExportUserData", kExporter);
  ASSERT_EQ(exported.status, 200) << exported.body;
  const std::string prefix = R"({"result":)";
  ASSERT_EQ(exported.body.rfind(prefix, 0), 0u);
  std::string container = exported.body.substr(prefix.size(), exported.body.size() - prefix.size() - 1);
  EXPECT_EQ(Json::parse(container)["UserID"], kExporter);

  test::RawReply imported = Call("LXMDataFlow.DatasUpdate/ImportUserData", kImporter, "," + container);
  ASSERT_EQ(imported.status, 200) << imported.body;
  EXPECT_EQ(imported.body, "{}");

  Json expected = UserLevels(kExporter);
  Json actual = UserLevels(kImporter);
  for (const char* level : kLevels) {
    SCOPED_TRACE(level);
    EXPECT_GT(actual[level]["$recordset"]["rows"].size(), 0u);
    EXPECT_EQ(actual[level], expected[level]);
  }
}

TEST_F(LayoutOverHttpTest, BadContainersAreRefusedAndChangeNothing) {
  connection_ = std::make_unique<test::RawConnection>(port_);
  Json valid = Json::parse(Call("LXMDataFlow.DatasInfo/ExportUserData", kExporter).body)["result"];
  Json& detail = valid["DetailFunc"]["$recordset"];
  ASSERT_GT(detail["rows"].size(), 1u);
  size_t index_column = 0;
  while (detail["fields"][index_column]["name"] != "FIndex") ++index_column;

  Json no_key = valid;
  no_key.erase("SubFunc");
  Json short_row = valid;
  short_row["DetailFunc"]["$recordset"]["rows"][1].erase(0);
  Json text_index = valid;
  text_index["DetailFunc"]["$recordset"]["rows"][1][index_column] = "ten";
  Json no_field = valid;
  for (Json& row : no_field["DetailFunc"]["$recordset"]["rows"]) row.erase(index_column);
  no_field["DetailFunc"]["$recordset"]["fields"].erase(index_column);
  Json twice = valid;
  twice["DetailFunc"]["$recordset"]["rows"].push_back(twice["DetailFunc"]["$recordset"]["rows"][0]);

  struct Case {
    const char* name;
    std::string container;
    int status;
    const char* kind;  // host refusals
    int32_t number;    // automation errors
  };
  const Case cases[] = {
      {"text", R"("layout")", 400, "bad_arguments", 0},
      {"an array", "[1, 2]", 400, "bad_arguments", 0},
      {"a recordset", R"({"$recordset": {"fields": [], "rows": []}})", 400, "bad_arguments", 0},
      {"a row of the wrong length", short_row.dump(), 400, "bad_request", 0},
      {"a level missing", no_key.dump(), 500, nullptr, errors::kInvalidCall},
      {"an empty dictionary", "{}", 500, nullptr, errors::kInvalidCall},
      {"null", "null", 500, nullptr, errors::kInvalidCall},
      {"a field missing", no_field.dump(), 500, nullptr, errors::kItemNotFound},
      {"text in a number field", text_index.dump(), 500, nullptr, errors::kTypeMismatch},
      {"a node twice", twice.dump(), 500, nullptr, errors::kDatabase},
  };
  Json before = UserLevels(kImporter);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RawReply reply = Call("LXMDataFlow.DatasUpdate/ImportUserData", kImporter, "," + c.container);
    ASSERT_EQ(reply.status, c.status) << reply.body;
    Json error = Json::parse(reply.body)["error"];
    if (c.kind != nullptr) {
      EXPECT_EQ(error["kind"], c.kind);
    } else {
      EXPECT_EQ(error["number"], c.number);
      if (c.number == errors::kInvalidCall) {
        EXPECT_EQ(error["source"], "LXMDataFlow.DatasUpdate.ImportUserData");
        EXPECT_EQ(error["description"], "Invalid or incorrect template file. Please select again.");
      }
    }
    EXPECT_EQ(UserLevels(kImporter), before);
  }
}

TEST_F(LayoutOverHttpTest, GetRecordsetOverHttpAnswersAsInProcess) {
  connection_ = std::make_unique<test::RawConnection>(port_);
  test::RawReply reply = Call("LXMDataFlow.DatasInfo/GetRecordset", kExporter, R"(,["TopClass","","AcctType"],true)");
  ASSERT_EQ(reply.status, 200) << reply.body;
  Json result = Json::parse(reply.body)["result"];
  ASSERT_EQ(result.size(), 2u);
  EXPECT_GT(result["TopClass"]["$recordset"]["rows"].size(), 0u);
  EXPECT_GT(result["AcctType"]["$recordset"]["rows"].size(), 0u);
  EXPECT_FALSE(Json::parse(reply.body).contains("out"));  // vNames unchanged

  // Names that are not a list: nothing, as in-process.
  reply = Call("LXMDataFlow.DatasInfo/GetRecordset", kExporter, R"(,"TopClass",false)");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, R"({"result":null})");
}

}  // namespace
}  // namespace lxm::server
