#include "server/dispatcher.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "info/datas_info.h"
#include "platform/db/connect_string.h"
#include "platform/dictionary.h"
#include "platform/text_util.h"
#include "server/json_codec.h"
#include "server/same_value.h"
#include "test_support/account_fixture.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;

// One level shared by every call, as the level cache shares it; its text is
// well past kSharedPieceBytes.
const Recordset& LargeLevel() {
  static const Recordset level = [] {
    std::vector<Row> rows;
    for (int32_t i = 0; i < 5000; ++i) rows.push_back({Variant(i), Variant("Function " + std::to_string(i))});
    return Recordset({{"FDetailFuncID", FieldType::kInteger}, {"FFuncName", FieldType::kVarWChar}},
                     std::move(rows));
  }();
  return level;
}

// A class whose methods show the dispatcher's mechanics without a database.
TypeLibrary EchoLibrary() {
  using enum ValueType;
  TypeLibrary library;
  ClassInfo& echo = library.Class("Test.Echo");
  echo.Add({"Bump",
            {In("sDsn", kString), Ref("lCount", kLong), Optional("sTag", kString, Variant("none"))},
            kString,
            [](Runtime&, Arguments& args) {
              args[1] = Variant(args[1].AsLong() + 1);
              return Variant(args[0].AsString() + "/" + args[2].AsString());
            }});
  echo.Add({"Same", {In("sDsn", kString), Ref("lCount", kLong)}, kLong,
            [](Runtime&, Arguments& args) { return args[1]; }});
  echo.Add({"Nothing", {In("sDsn", kString)}, kVoid, [](Runtime&, Arguments&) { return Variant(); }});
  echo.Add({"Fail", {In("sDsn", kString)}, kLong, [](Runtime&, Arguments&) -> Variant {
              throw ComError(errors::kGroupExists, "LxmDataFlow.AddNormalFuncGroup", "The group exists.",
                             "help.chm", 42);
            }});
  echo.Add({"Crash", {In("sDsn", kString)}, kLong,
            [](Runtime&, Arguments&) -> Variant { throw std::runtime_error("boom"); }});
  echo.Add({"Level", {In("sDsn", kString), Ref("lCount", kLong)}, kRecordset,
            [](Runtime&, Arguments& args) {
              args[1] = Variant(args[1].AsLong() + 1);
              return Variant(LargeLevel());
            }});
  echo.Add({"ExecCmd", {In("sDsn", kString)}, kString,
            [](Runtime&, Arguments&) { return Variant("ran"); }});
  return library;
}

class DispatcherMechanicsTest : public ::testing::Test {
 protected:
  Reply Call(const std::string& method, const std::string& body, bool enable_exec = false) {
    DispatcherOptions options;
    options.enable_exec = enable_exec;
    return Dispatcher(runtime_, library_, options).Call("Test.Echo", method, body);
  }

  Runtime runtime_;
  TypeLibrary library_ = EchoLibrary();
};

TEST_F(DispatcherMechanicsTest, RepliesWithResultAndChangedByRefArguments) {
  struct Case {
    const char* method;
    const char* body;
    const char* reply;
  };
  const Case cases[] = {
      {"Bump", R"({"args": ["d", 5]})", R"({"result":"d/none","out":{"lCount":6}})"},
      {"bump", R"({"args": ["d", 5, "t"]})", R"({"result":"d/t","out":{"lCount":6}})"},
      {"Bump", R"({"args": ["d", 2.5]})", R"({"result":"d/none","out":{"lCount":3}})"},
      {"Same", R"({"args": ["d", 5]})", R"({"result":5})"},
      {"Same", R"({"args": ["d", "7"]})", R"({"result":7})"},
      {"Nothing", R"({"args": ["d"]})", "{}"},
      {"Nothing", R"({"args": ["d"], "comment": "ignored"})", "{}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.body);
    Reply reply = Call(c.method, c.body);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, c.reply);
  }
}

TEST_F(DispatcherMechanicsTest, SendsLargeSharedLevelsWithoutCopyingThem) {
  Reply reply = Call("Level", R"({"args": ["d", 1]})");
  ASSERT_EQ(reply.status, 200);
  EXPECT_TRUE(reply.body.empty());
  std::shared_ptr<const std::string> kept = EncodedRecordset(LargeLevel());
  ASSERT_GE(kept->size(), kSharedPieceBytes);
  bool shared = false;
  for (const auto& piece : reply.pieces) shared = shared || piece.get() == kept.get();
  EXPECT_TRUE(shared) << "the level's text was copied";
  EXPECT_EQ(reply.Text(), R"({"result":)" + *kept + R"(,"out":{"lCount":2}})");
  EXPECT_TRUE(test::SameValue(ParseValue(reply.Text()).AsDictionary()->Item("result"), Variant(LargeLevel())));
}

// Numbers no double holds and nesting past the limit are malformed JSON
// (400) naming the argument; a body of brackets is refused while parsing,
// without building what it describes.
TEST_F(DispatcherMechanicsTest, RefusesUnreadableJsonWhileParsing) {
  const std::string deep = std::string(kMaxNestingDepth + 1, '[') + "1" + std::string(kMaxNestingDepth + 1, ']');
  struct Case {
    std::string body;
    const char* says;
  };
  const Case cases[] = {
      {R"({"args": ["d", 1e309]})", "Argument 2: "},
      {R"({"args": ["d", -1e309]})", "Argument 2: "},
      {R"({"args": [1e400, 1]})", "Argument 1: "},
      {R"({"args": ["d", )" + deep + "]}", "Argument 2: "},
      {R"({"args": ["d", 1], "x": 1e309})", "not JSON"},
      // A key of digits where an index would stand, too long for one
      // (found by fuzzing: the reply was a 500 from the number's parser).
      {R"({"args": {"99999999999999999999999": 1e309}})", "The body is not JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    Reply reply = Call("Same", c.body);
    EXPECT_EQ(reply.status, 400);
    Json json = Json::parse(reply.body);
    EXPECT_EQ(json["error"]["kind"], "malformed_json");
    EXPECT_NE(json["error"]["description"].get<std::string>().find(c.says), std::string::npos)
        << json["error"]["description"];
  }
  EXPECT_EQ(Call("Same", R"({"args": ["d", 1e308]})").status, 500);  // a Double: overflow for a Long

  std::string brackets = R"({"args": )";
  brackets.append(size_t{16} << 20, '[');
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  Reply reply = Call("Same", brackets);
  EXPECT_EQ(reply.status, 400);
  EXPECT_NE(reply.body.find("malformed_json"), std::string::npos);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "KiB more at the peak";
}

TEST_F(DispatcherMechanicsTest, RefusesBadRequestsWithAKindAndADescription) {
  struct Case {
    const char* prog_id;
    const char* method;
    const char* body;
    int status;
    const char* kind;
  };
  const Case cases[] = {
      {"Test.Echo", "Same", R"({"args": ["d", 5)", 400, "malformed_json"},
      {"Test.Echo", "Same", R"(["d", 5])", 400, "bad_request"},
      {"Test.Echo", "Same", R"({"args": {"sDsn": "d"}})", 400, "bad_request"},
      {"Test.Echo", "Same", R"({"args": ["d", {"$nope": 1}]})", 400, "bad_request"},
      {"Test.Echo", "Same", R"({"args": ["d"]})", 400, "bad_arguments"},
      {"Test.Echo", "Same", R"({"args": ["d", 1, 2]})", 400, "bad_arguments"},
      {"Test.Echo", "Same", "", 400, "bad_arguments"},
      {"Test.Echo", "Same", R"({"args": ["d", [1]]})", 400, "bad_arguments"},
      {"Test.Echo", "Same", R"({"args": [{"k": 1}, 1]})", 400, "bad_arguments"},
      {"Test.Nope", "Same", R"({"args": ["d", 1]})", 404, "unknown_class"},
      {"Test.Echo", "Nope", R"({"args": ["d", 1]})", 404, "unknown_method"},
      {"Test.Echo", "ExecCmd", R"({"args": ["d"]})", 403, "exec_disabled"},
      {"Test.Echo", "execcmd", R"({"args": ["d"]})", 403, "exec_disabled"},
      {"Test.Echo", "RegMiddle", R"({"args": ["d"]})", 403, "exec_disabled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.prog_id) + "." + c.method + " " + c.body);
    Reply reply = Dispatcher(runtime_, library_, {}).Call(c.prog_id, c.method, c.body);
    EXPECT_EQ(reply.status, c.status);
    Json json = Json::parse(reply.body);
    EXPECT_EQ(json["error"]["kind"], c.kind);
    EXPECT_FALSE(json["error"]["description"].get<std::string>().empty());
  }
}

TEST_F(DispatcherMechanicsTest, ExecCmdRunsOnlyWhenEnabled) {
  EXPECT_EQ(Call("ExecCmd", R"({"args": ["d"]})", /*enable_exec=*/true).body, R"({"result":"ran"})");
  EXPECT_EQ(Call("ExecCmd", R"({"args": ["d"]})", /*enable_exec=*/false).status, 403);
}

TEST_F(DispatcherMechanicsTest, RaisedErrorsTravelAsAutomationErrors) {
  Reply failed = Call("Fail", R"({"args": ["d"]})");
  EXPECT_EQ(failed.status, 500);
  EXPECT_EQ(failed.body,
            R"({"error":{"number":-2147205056,"source":"LxmDataFlow.AddNormalFuncGroup",)"
            R"("description":"The group exists.","helpFile":"help.chm","helpContext":42}})");

  // Conversion errors are raised as the automation runtime raised them.
  Reply overflow = Call("Same", R"({"args": ["d", 3000000000]})");
  EXPECT_EQ(overflow.status, 500);
  EXPECT_EQ(Json::parse(overflow.body)["error"]["number"], 6);
  Reply mismatch = Call("Same", R"({"args": ["d", "abc"]})");
  EXPECT_EQ(Json::parse(mismatch.body)["error"]["number"], 13);

  Reply crashed = Call("Crash", R"({"args": ["d"]})");
  EXPECT_EQ(crashed.status, 500);
  Json crash = Json::parse(crashed.body);
  EXPECT_EQ(crash["error"]["number"], -2147467259);
  EXPECT_EQ(crash["error"]["description"], "boom");
}

TEST_F(DispatcherMechanicsTest, DescribesAClass) {
  Dispatcher dispatcher(runtime_, library_, {});
  Json json = Json::parse(dispatcher.Describe("test.echo").body);
  EXPECT_EQ(json["progId"], "Test.Echo");
  const Json& bump = json["methods"][0];
  EXPECT_EQ(bump["name"], "Bump");
  EXPECT_EQ(bump["result"], "String");
  EXPECT_EQ(bump["params"][1], Json::parse(R"({"name":"lCount","type":"Long","byRef":true,"optional":false})"));
  EXPECT_EQ(bump["params"][2],
            Json::parse(R"({"name":"sTag","type":"String","byRef":false,"optional":true,"default":"none"})"));
  EXPECT_EQ(json["methods"][2]["result"], "Void");
  EXPECT_EQ(dispatcher.Describe("Test.Nope").status, 404);
  EXPECT_EQ(Json::parse(dispatcher.ListClasses().body), Json::parse(R"({"classes":["Test.Echo"]})"));
}

// The password plays no part in naming a configured database, and the
// method always gets the configured text: what callers hold is never a
// credential.
TEST_F(DispatcherMechanicsTest, MethodsConnectWithTheConfiguredCredentials) {
  const std::string configured = "Provider=PostgreSQL;Host=db;Database=acct;User ID=lxm;Password=s3cret";
  const std::string keyless = "Provider=PostgreSQL;Host=db;Database=acct;User ID=lxm";
  DispatcherOptions options;
  options.databases.emplace();
  options.databases->Add(configured);
  Dispatcher dispatcher(runtime_, library_, options);
  struct Case {
    std::string descriptor;
    std::string method_sees;  // empty: refused
  };
  const Case cases[] = {
      {"ConnectString={" + configured + "};UserID=1", "ConnectString={" + configured + "};UserID=1"},
      {"ConnectString={" + keyless + "};UserID=1", "ConnectString={" + configured + "};UserID=1"},
      {"UserID=1; connectstring = {" + keyless + ";Password=***} ;LANGUAGE=en",
       "UserID=1;ConnectString={" + configured + "};LANGUAGE=en"},
      {"UserID=1;ConnectString={" + keyless + ";Password=s3cret}", "UserID=1;ConnectString={" + configured + "}"},
      {"ConnectString={" + keyless + ";Password=guess};UserID=1", ""},
      {"ConnectString={" + keyless + ";Password=};UserID=1", "ConnectString={" + configured + "};UserID=1"},
      {"ConnectString={Provider=PostgreSQL;Host=db;Database=other};UserID=1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descriptor);
    std::string body = R"({"args":[)";
    AppendJsonString(c.descriptor, &body);
    body += ",0]}";
    Reply reply = dispatcher.Call("Test.Echo", "Bump", body);
    if (c.method_sees.empty()) {
      EXPECT_EQ(reply.status, 403);
      EXPECT_EQ(reply.body.find("s3cret"), std::string::npos);
    } else {
      ASSERT_EQ(reply.status, 200) << reply.body;
      EXPECT_EQ(Json::parse(reply.body)["result"], c.method_sees + "/none");
    }
  }
}

// The public classes on the demo account.
class DispatcherTest : public test::AccountTest {
 protected:
  DispatcherTest() { demo_ = true; }

  Reply Call(std::string_view prog_id, std::string_view method, const std::string& body,
             bool restrict_to_this_database = true) {
    DispatcherOptions options;
    if (restrict_to_this_database) {
      DatabaseAllowlist allowlist;
      allowlist.Add(connect_string_);
      options.databases = allowlist;
    }
    return Dispatcher(runtime_, PublicTypeLibrary(), options).Call(prog_id, method, body);
  }

  static std::string Args(const std::string& dsn, const std::string& rest = "") {
    std::string body = R"({"args":[)";
    AppendJsonString(dsn, &body);
    return body + rest + "]}";
  }
};

TEST_F(DispatcherTest, ListingMatchesTheDirectCall) {
  Reply reply = Call("LXMDataFlow.DatasInfo", "GetSubSystem", Args(Dsn(16394, "en"), ",0"));
  ASSERT_EQ(reply.status, 200) << reply.body;
  Variant decoded = ParseValue(reply.body);
  EXPECT_FALSE(decoded.AsDictionary()->Exists("out"));  // lTopClassID is left as it was
  int32_t top_class = 0;
  Recordset direct = DatasInfo(runtime_).GetSubSystem(Dsn(16394, "en"), top_class);
  ASSERT_GT(direct.RecordCount(), 0);
  EXPECT_TRUE(test::SameValue(decoded.AsDictionary()->Item("result"), Variant(direct)));
}

TEST_F(DispatcherTest, ReplacedDictionaryComesBackAsOut) {
  Reply reply = Call("LXMDataFlow.DatasInfo", "GetProfileValue", Args(Dsn(16394), R"(,"NoSuchName",null)"));
  ASSERT_EQ(reply.status, 200) << reply.body;
  Json json = Json::parse(reply.body);
  EXPECT_EQ(json["result"], "");
  const Json& stamps = json["out"]["oDict"];
  EXPECT_TRUE(stamps.contains("TimeStamp"));
  EXPECT_TRUE(stamps.contains("UserTimeStamp"));
  EXPECT_EQ(stamps["UserID"], 16394);
}

TEST_F(DispatcherTest, SubChangesTheDatabaseAndRepliesEmpty) {
  Reply reply = Call("LXMDataFlow.DatasUpdate", "UpdateTopClassName", Args(Dsn(0), R"(,1,"Renamed")"));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.body, "{}");
  EXPECT_TRUE(Scalar("SELECT FTopClassName FROM t_DataFlowTopClass WHERE FTopClassID = 1") == Variant("Renamed"));
}

TEST_F(DispatcherTest, UnconfiguredDatabaseIsRefusedBeforeTheMethodRuns) {
  // GetUserTemplateVer creates the stamp row of a user who has none: a
  // refused call must leave it missing.
  test::TempDir other;
  std::string mine = Dsn(777);
  DatabaseAllowlist only_other;
  only_other.Add(SQLiteConnectString((other.path() / "account.db").string()));
  DispatcherOptions options;
  options.databases = only_other;
  Dispatcher dispatcher(runtime_, PublicTypeLibrary(), options);

  Reply refused = dispatcher.Call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", Args(mine));
  EXPECT_EQ(refused.status, 403);
  EXPECT_EQ(Json::parse(refused.body)["error"]["kind"], "database_not_configured");
  EXPECT_EQ(StampVersion("DataFlow777"), -1);

  Reply allowed = Call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", Args(mine));
  EXPECT_EQ(allowed.status, 200) << allowed.body;
  EXPECT_NE(StampVersion("DataFlow777"), -1);
}

TEST_F(DispatcherTest, DescriptorSpellingsOfTheSameDatabaseAreAccepted) {
  std::string spaced;
  if (test::OnPostgres()) {
    // Names in lower case, in another order, with blanks around.
    for (const auto& [name, value] : ParseConnectString(connect_string_).properties) {
      spaced = " " + ToLowerAscii(name) + " = " + value + " ;" + spaced;
    }
    spaced = "ConnectString={" + spaced + "};UserID=16394";
  } else {
    spaced = "ConnectString={ provider=SQLite ; Data Source = " +
             (std::filesystem::path(path_).parent_path() / "." / "account.db").string() + " };UserID=16394";
  }
  Reply reply = Call("LXMDataFlow.clsDataInfo", "GetTemplateVer", Args(spaced));
  EXPECT_EQ(reply.status, 200) << reply.body;
}

TEST_F(DispatcherTest, AdministrativeWritesTakeDictionariesAndListsAsJson) {
  Reply created = Call("LXMDataFlow.DatasUpdate", "CreateSubSys",
                       Args(Dsn(0), R"(,1,9,{"FSubSysID":8777,"FSysName":"新","FSubID":"NEW"},true)"));
  ASSERT_EQ(created.status, 200) << created.body;
  EXPECT_EQ(created.body, R"({"result":8777})");
  EXPECT_TRUE(Scalar("SELECT FNumber FROM t_SubSystem WHERE FSubSysID = 8777") == Variant("NEW"));

  Reply applied = Call("LXMDataFlow.DatasUpdate", "ApplyAllUser", Args(Dsn(16394), R"(,[16395,"16396"])"));
  ASSERT_EQ(applied.status, 200) << applied.body;
  EXPECT_EQ(applied.body, R"({"result":true})");
  for (const char* table : {"t_UserTopClass", "t_UserSubSystem", "t_UserSubFunc", "t_UserDetailFunc"}) {
    SCOPED_TRACE(table);
    std::string count = std::string("SELECT COUNT(*) FROM ") + table + " WHERE FUserID = ?";
    EXPECT_GT(Scalar(count, {Variant(16394)}).AsLong(), 0);
    EXPECT_TRUE(Scalar(count, {Variant(16396)}) == Scalar(count, {Variant(16394)}));
  }

  Reply refused = Call("LXMDataFlow.DatasUpdate", "SetDefault", Args(Dsn(0)));
  EXPECT_EQ(refused.status, 500);
  EXPECT_EQ(Json::parse(refused.body)["error"]["source"], "LXMDataFlow.DatasUpdate.SetDefault");
}

TEST_F(DispatcherTest, DescriptorThatDoesNotParseRaisesItsError) {
  std::string twice = Dsn(16394) + ";UserID=1";
  for (bool restricted : {true, false}) {
    SCOPED_TRACE(restricted);
    Reply reply = Call("LXMDataFlow.clsDataInfo", "GetTemplateVer", Args(twice), restricted);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(Json::parse(reply.body)["error"]["number"], errors::kDuplicateKey);
  }
}

}  // namespace
}  // namespace lxm::server
