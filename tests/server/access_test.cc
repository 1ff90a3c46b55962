// Authorisation by token over HTTP: every method of the type library tried
// with a user token for its own user, for another user, an administrator
// token and the single token; the favourite-group owner checks; refusals
// that depend on the arguments. The expected class of each method is
// written here, apart from the product's own table.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/convert.h"
#include "server/access_token.h"
#include "server/expected_methods.h"
#include "server/http_server.h"
#include "server/raw_http.h"
#include "server/type_library.h"
#include "test_support/account_fixture.h"
#include "test_support/database_dump.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kUserToken[] = "user-16394-token";
constexpr char kAdminToken[] = "admin-token";
constexpr char kSingleToken[] = "single-shared-token";
constexpr int32_t kUser = 16394;
constexpr int32_t kOther = 16395;

// What a user token may do with a method.
enum class Expect {
  kOwn,          // its own user only
  kOwnOverlay,   // its own user's overlay; template mode refused
  kGroup,        // its own user, and only its own favourite groups
  kAdmin,        // administrators only
  kAnyToken,     // no user involved
};

const std::map<std::string, Expect, std::less<>>& Expectations() {
  using enum Expect;
  static const auto* const expectations = new std::map<std::string, Expect, std::less<>>{
      {"GetTemplate", kOwn}, {"GetUserData", kOwn}, {"GetTemplateVer", kOwn}, {"GetUserTemplateVer", kOwn},
      {"GetTopClass", kOwn}, {"GetTopClass_All", kOwn}, {"GetSubSystem", kOwn}, {"GetSubSystem_All", kOwn},
      {"GetSubFunc", kOwn}, {"GetSubFunc_All", kOwn}, {"GetDetailFunc", kOwn}, {"GetDetailFunc_All", kOwn},
      {"GetDetailFuncInfo", kOwn}, {"GetSubSystemHelp", kOwn}, {"GetNormalFuncGroup", kOwn},
      {"GetNormalFunc", kGroup}, {"GetDetailNormalFunc", kOwn}, {"GetHelpCodeInfo", kOwn},
      {"GetPicInfo", kAnyToken}, {"GetPatchLst", kAnyToken}, {"GetPatchFile", kAnyToken},
      {"FileExists", kAnyToken}, {"GetFileSize", kAnyToken}, {"FileToVariant", kAnyToken},
      {"GetSubSysClass", kOwn}, {"GetSubSysName", kOwn}, {"IsHasChild", kOwn}, {"GetNextIndex", kOwn},
      {"GetNextID", kOwn}, {"IsReFreshBaseData", kOwn}, {"GetProfileValue", kOwn}, {"IsRefreshNode", kOwn},
      {"GetSubSystemInfo", kOwn}, {"IsSetEnable", kOwn}, {"GetAcctShowName", kOwn}, {"GetRecordset", kOwn},
      {"GetUserNormalLst", kOwn}, {"ExportUserData", kOwn},
      {"UpdateTopClass", kOwnOverlay}, {"UpdateSystemFunc", kOwnOverlay}, {"UpdateSubSysFunc", kOwnOverlay},
      {"UpdateDetailFuncAttr", kOwnOverlay},
      {"UpdateTopClassName", kAdmin}, {"UpdateSystemFuncName", kAdmin}, {"UpdateSystemHelpFile", kAdmin},
      {"UpdateSubSysFuncName", kAdmin}, {"UpdateAcctTypeName", kAdmin}, {"UpdateDetailFunc", kAdmin},
      {"AppendNormalItem", kGroup}, {"AddNormalItem", kGroup}, {"DelNormalFunc", kAdmin},
      {"ClearNormalList", kGroup}, {"AddNormalFuncGroup", kOwn}, {"DelNormalFuncGroup", kGroup},
      {"UpdateNormalFuncGroup", kGroup}, {"SetDetailFuncNotNormal", kAdmin}, {"SetProfileValue", kOwn},
      {"ExecCmd", kAdmin}, {"GetActiveXFilePath", kAnyToken}, {"RegMiddle", kAdmin},
      {"CreateSubSys", kAdmin}, {"CreateTopClass", kOwnOverlay}, {"DeleteItem", kAdmin},
      {"SetDefault", kAdmin}, {"ApplyAllUser", kAdmin}, {"RefreshDetailFunc", kAdmin},
      {"CreateDetailFunc", kOwnOverlay}, {"CreateSubFunc", kOwnOverlay}, {"ImportUserData", kOwn},
      {"RefreshSubFunc", kAdmin}, {"RefreshActivFunc", kAdmin}, {"ReFreshStatus", kAdmin},
      {"UpdateFuncEnable", kAdmin}, {"UpdateSysBaseData", kAdmin},
  };
  return *expectations;
}

// "Function Name(..." or "Sub Name(...": the name.
std::string MethodName(std::string_view signature) {
  size_t start = signature.find(' ') + 1;
  return std::string(signature.substr(start, signature.find('(') - start));
}

class AccessTest : public test::AccountTest {
 protected:
  AccessTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    HttpServerOptions options = test::ServerOptionsFor(connect_string_);
    options.token = kSingleToken;
    options.token_map = TokenMap({{Sha256(kUserToken), kUser, Role::kUser},
                                  {Sha256(kAdminToken), 1, Role::kAdministrator}});
    // Commands are allowed here (none is listed), so that a 403 is the
    // token's refusal only.
    options.dispatch.enable_exec = true;
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(), options);
  }

  void TearDown() override { server_.reset(); }

  // The arguments of a call: the descriptor of `user`, and a plain value of
  // each other parameter's type (group -1, overlay mode unless `template_mode`).
  Json Arguments(const MethodInfo& method, int32_t user, bool template_mode = false) const {
    Json args = Json::array();
    for (const ParamInfo& param : method.params) {
      if (param.name == "sDsn") {
        args.push_back(Dsn(user));
      } else if (param.name == "blnTemplate") {
        args.push_back(template_mode);
      } else if (param.name == "lngFuncGroupID" || param.name == "lngGroupID") {
        args.push_back(-1);
      } else {
        switch (param.type) {
          case ValueType::kLong: args.push_back(1); break;
          case ValueType::kBoolean: args.push_back(false); break;
          case ValueType::kDouble: args.push_back(0.5); break;
          case ValueType::kDictionary: args.push_back(Json::object()); break;
          case ValueType::kVector: args.push_back(Json::array()); break;
          default: args.push_back("TopClass"); break;
        }
      }
    }
    return args;
  }

  test::RawReply Call(std::string_view prog_id, std::string_view method, const Json& args,
                      const std::string& token) {
    test::RawConnection connection(server_->port());
    Json body = {{"args", args}};
    return connection.Post("/rpc/" + std::string(prog_id) + "/" + std::string(method), body.dump(), token);
  }

  static bool Forbidden(const test::RawReply& reply) {
    if (reply.status != 403) return false;
    Json body = Json::parse(reply.body);
    return body["error"]["kind"] == "forbidden";
  }

  std::string Database() {
    return test::DumpDatabase([this](const std::string& sql) { return Query(sql); });
  }

  std::unique_ptr<test::TestServer> server_;
};

TEST_F(AccessTest, WholeTypeLibraryByTokenRole) {
  using enum Expect;
  int tried = 0;
  size_t methods = 0;
  for (const test::ExpectedMethod& expected : test::kExpectedMethods) {
    std::string name = MethodName(expected.signature);
    SCOPED_TRACE(std::string(expected.prog_id) + "." + name);
    auto found = Expectations().find(name);
    ASSERT_NE(found, Expectations().end()) << "no expectation written for this method";
    const Expect expect = found->second;
    const MethodInfo* method = PublicTypeLibrary().Find(expected.prog_id)->Find(name);
    ASSERT_NE(method, nullptr);
    ++methods;

    struct Try {
      const char* who;
      std::string token;
      int32_t user;
      bool template_mode;
      bool refused;
    };
    const bool has_template = method->DescriptorIndex() >= 0 &&
                              Arguments(*method, kUser, true) != Arguments(*method, kUser, false);
    std::vector<Try> tries = {
        {"user token, own user", kUserToken, kUser, false, expect == kAdmin},
        {"user token, another user", kUserToken, kOther, false, expect != kAnyToken},
        {"administrator token, another user", kAdminToken, kOther, false, false},
        {"single token, another user", kSingleToken, kOther, false, false},
    };
    if (has_template) {
      tries.push_back({"user token, own user, template mode", kUserToken, kUser, true,
                       expect == kAdmin || expect == kOwnOverlay});
      tries.push_back({"administrator token, template mode", kAdminToken, kUser, true, false});
    }
    for (const Try& each : tries) {
      SCOPED_TRACE(each.who);
      test::RawReply reply = Call(expected.prog_id, name, Arguments(*method, each.user, each.template_mode),
                                  each.token);
      ++tried;
      ASSERT_NE(reply.status, 0) << "no reply";
      EXPECT_EQ(Forbidden(reply), each.refused) << reply.status << " " << reply.body;
      if (each.refused) {
        // The reason is given, never the token.
        EXPECT_NE(reply.body.find(name + " refused: "), std::string::npos) << reply.body;
        EXPECT_EQ(reply.body.find(each.token), std::string::npos) << reply.body;
      }
    }
  }
  EXPECT_EQ(methods, Expectations().size()) << "an expectation names a method the library lacks";
  std::cout << "[ authorisation ] " << tried << " cases over " << methods << " methods\n";
  RecordProperty("authorisation_cases", tried);
}

TEST_F(AccessTest, FavouriteGroupsOfAnotherUserAreRefusedAndLeftAlone) {
  constexpr int32_t kOwnGroup = 7001;
  constexpr int32_t kOtherGroup = 7002;
  constexpr int32_t kNoGroup = 7999;
  const std::string insert_group =
      "INSERT INTO t_NormalFuncGroup(FFuncGroupID,FUserID,FFuncGroupName,FShowName) VALUES(?,?,?,?)";
  Exec(insert_group, {Variant(kOwnGroup), Variant(kUser), Variant("mine"), Variant("")});
  Exec(insert_group, {Variant(kOtherGroup), Variant(kOther), Variant("theirs"), Variant("")});
  Exec("INSERT INTO t_NormalFunc(FFuncGroupID,FUserID,FDetailFuncID,FHelpCode,FShowName,FFuncName) "
       "VALUES(?,?,?,?,?,?)",
       {Variant(kOtherGroup), Variant(kOther), Variant(1), Variant("h"), Variant("s"), Variant("f")});
  const std::string before = Database();

  const std::string kInfo(test::kDatasInfo);
  const std::string kUpdate(test::kDatasUpdate);
  auto item = [&](int32_t group) { return Json{Dsn(kUser), 1, "H1", "Shown", "Func", group}; };
  struct Case {
    const char* name;
    std::string prog_id;
    std::string method;
    Json args;
  };
  const Case refused[] = {
      {"rename", kUpdate, "UpdateNormalFuncGroup", {Dsn(kUser), kOtherGroup, "stolen"}},
      {"delete", kUpdate, "DelNormalFuncGroup", {Dsn(kUser), kOtherGroup}},
      {"add an item", kUpdate, "AddNormalItem", item(kOtherGroup)},
      {"append an item", kUpdate, "AppendNormalItem", item(kOtherGroup)},
      {"clear", kUpdate, "ClearNormalList", {Dsn(kUser), kOtherGroup}},
      {"read", kInfo, "GetNormalFunc", {Dsn(kUser), kOtherGroup}},
      {"add to a group nobody has", kUpdate, "AddNormalItem", item(kNoGroup)},
      {"rename a group nobody has", kUpdate, "UpdateNormalFuncGroup", {Dsn(kUser), kNoGroup, "x"}},
  };
  for (const Case& each : refused) {
    SCOPED_TRACE(each.name);
    test::RawReply reply = Call(each.prog_id, each.method, each.args, kUserToken);
    EXPECT_TRUE(Forbidden(reply)) << reply.status << " " << reply.body;
    // The reply names the group, not who owns it.
    EXPECT_EQ(reply.body.find(std::to_string(kOther)), std::string::npos) << reply.body;
    // The whole database, compared without printing it.
    EXPECT_TRUE(Database() == before) << "the database changed";
  }

  // The same through the owner's own groups, and by an administrator, works.
  struct Allowed {
    const char* name;
    std::string token;
    std::string method;
    Json args;
    std::string check;  // the statement whose one value shows the change
    Variant expected;
  };
  const Allowed allowed[] = {
      {"rename own group", kUserToken, "UpdateNormalFuncGroup", {Dsn(kUser), kOwnGroup, "renamed"},
       "SELECT FFuncGroupName FROM t_NormalFuncGroup WHERE FFuncGroupID = 7001", Variant("renamed")},
      {"add to own group", kUserToken, "AddNormalItem", item(kOwnGroup),
       "SELECT COUNT(*) FROM t_NormalFunc WHERE FFuncGroupID = 7001", Variant(1)},
      {"administrator renames another's group", kAdminToken, "UpdateNormalFuncGroup",
       {Dsn(kOther), kOtherGroup, "by admin"},
       "SELECT FFuncGroupName FROM t_NormalFuncGroup WHERE FFuncGroupID = 7002", Variant("by admin")},
  };
  for (const Allowed& each : allowed) {
    SCOPED_TRACE(each.name);
    test::RawReply reply = Call(kUpdate, each.method, each.args, each.token);
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(CStr(Scalar(each.check)), CStr(each.expected));
  }
}

TEST_F(AccessTest, RefusalsThatDependOnTheRequest) {
  const std::string kUpdate(test::kDatasUpdate);
  const MethodInfo* update_top = PublicTypeLibrary().Find(kUpdate)->Find("UpdateTopClass");
  ASSERT_NE(update_top, nullptr);
  auto with_info = [&](Json info) {
    return Json{Dsn(kUser), 1001, Json{{"NewName", "n"}}, false, std::move(info)};
  };
  struct Case {
    const char* name;
    std::string token;
    Json args;
    int status;  // 401, 403 (forbidden) or 200
  };
  const Case cases[] = {
      {"another user's overlay by TemplateUserID", kUserToken, with_info({{"TemplateUserID", "16395"}}), 403},
      {"the shared default by TemplateUserID 0", kUserToken, with_info({{"TemplateUserID", 0}}), 403},
      {"TemplateUserID that is no number", kUserToken, with_info({{"TemplateUserID", "abc"}}), 403},
      {"own user by TemplateUserID", kUserToken, with_info({{"TemplateUserID", "16394"}}), 200},
      {"empty TemplateUserID", kUserToken, with_info({{"TemplateUserID", ""}}), 200},
      {"administrator, another user's overlay", kAdminToken, with_info({{"TemplateUserID", "16395"}}), 200},
      {"a token the map does not know", "unknown-token", with_info(Json::object()), 401},
      {"descriptor without a user ID", kUserToken,
       Json{"ConnectString={" + connect_string_ + "};LANGUAGE=en", 1001, Json::object()}, 403},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    test::RawReply reply = Call(kUpdate, "UpdateTopClass", each.args, each.token);
    EXPECT_EQ(reply.status, each.status) << reply.body;
    if (each.status == 403) {
      EXPECT_TRUE(Forbidden(reply)) << reply.body;
    }
  }

  // The page's settings start a user token at its own user.
  test::RawConnection connection(server_->port());
  test::RawReply config = connection.Get("/config", kUserToken);
  ASSERT_EQ(config.status, 200);
  EXPECT_EQ(Json::parse(config.body)["exampleUser"], kUser);
  EXPECT_EQ(Json::parse(config.body)["tokenRequired"], true);
}

}  // namespace
}  // namespace lxm::server
