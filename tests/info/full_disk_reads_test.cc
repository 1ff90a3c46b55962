// On a full disk writes fail, as they must, but reads of users whose stamps
// exist go on: a read writes nothing (no temporary file, no checkpoint), and
// one that must make a missing stamp row fails alone, saying why.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "platform/com_error.h"
#include "server/dispatcher.h"
#include "server/type_library.h"
#include "test_support/account_fixture.h"
#include "test_support/full_disk.h"

namespace lxm {
namespace {

using Json = nlohmann::ordered_json;

class FullDiskReadsTest : public test::AccountTest {
 protected:
  FullDiskReadsTest() { demo_ = true; }
};

TEST_F(FullDiskReadsTest, ReadsOfKnownUsersGoOnAndAStampThatCannotBeMadeFailsAlone) {
  GTEST_SKIP_IF_ONLY_SQLITE();
  test::FullDisk disk;
  runtime_.databases().Clear();  // every handle from now on goes through the full disk
  server::Dispatcher dispatcher(runtime_, server::PublicTypeLibrary(), {});
  auto call = [&](const char* prog_id, const char* method, Json args) {
    return dispatcher.Call(prog_id, method, Json{{"args", args}}.dump());
  };
  const std::string known = Dsn(16394);
  // A site that has served: the template's and the user's stamp rows exist.
  ASSERT_EQ(call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", {known}).status, 200);
  ASSERT_EQ(call("LXMDataFlow.clsDataInfo", "GetTemplateVer", {known}).status, 200);
  ASSERT_EQ(call("LXMDataFlow.DatasUpdate", "SetProfileValue", {known, "Layout", "1"}).status, 200);

  disk.SetFull(true);
  runtime_.cache_store().Clear();  // the reads go to the database
  struct Case {
    const char* prog_id;
    const char* method;
    Json args;
  };
  const Case reads[] = {
      {"LXMDataFlow.clsDataInfo", "GetUserTemplateVer", {known}},
      {"LXMDataFlow.clsDataInfo", "GetTemplateVer", {known}},
      {"LXMDataFlow.clsDataInfo", "GetTemplate", {known}},
      {"LXMDataFlow.clsDataInfo", "GetUserData", {known}},
      {"LXMDataFlow.DatasInfo", "GetTopClass", {known}},
      {"LXMDataFlow.DatasInfo", "GetSubSystem", {known, 0}},
      {"LXMDataFlow.DatasInfo", "GetHelpCodeInfo", {known, "PZ"}},
      {"LXMDataFlow.DatasInfo", "GetProfileValue", {known, "Layout", nullptr}},
      {"LXMDataFlow.DatasInfo", "ExportUserData", {known}},
  };
  for (int round = 0; round < 2; ++round) {  // from the database, then as kept
    for (const Case& c : reads) {
      SCOPED_TRACE(std::string(c.method) + " round " + std::to_string(round));
      server::Reply reply = call(c.prog_id, c.method, c.args);
      EXPECT_EQ(reply.status, 200) << reply.body.substr(0, 300);
    }
  }
  EXPECT_EQ(disk.refused(), 0) << "a read wrote";

  server::Reply write = call("LXMDataFlow.DatasUpdate", "SetProfileValue", {known, "Layout", "2"});
  EXPECT_EQ(write.status, 500);
  server::Reply new_user = call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", {Dsn(777)});
  ASSERT_EQ(new_user.status, 500) << new_user.body;
  Json error = Json::parse(new_user.body)["error"];
  EXPECT_EQ(error["number"], errors::kDatabase);
  EXPECT_NE(error["description"].get<std::string>().find("DataFlow777"), std::string::npos) << error.dump();
  EXPECT_NE(error["description"].get<std::string>().find("full"), std::string::npos) << error.dump();
  // The known user's reads are untouched by the refusals beside them.
  EXPECT_EQ(call("LXMDataFlow.clsDataInfo", "GetUserData", {known}).status, 200);

  disk.SetFull(false);
  EXPECT_EQ(call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", {Dsn(777)}).status, 200);
  EXPECT_EQ(Scalar("SELECT FValue FROM t_UserDataFlowProfile WHERE FUserID = 16394 AND FName = 'Layout'").AsString(),
            "1");
}

}  // namespace
}  // namespace lxm
