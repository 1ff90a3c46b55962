// The synchronisation end to end: the readers a client uses next, the HTTP
// host and the command line, with lists sent as JSON arrays of objects.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "info/datas_info.h"
#include "platform/convert.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/raw_http.h"
#include "tree/cls_data_info.h"
#include "test_support/test_server.h"
#include "update/detail_sync_fixture.h"

namespace lxm {
namespace {

using Json = nlohmann::ordered_json;

// The IDs of a level's rows that belong to one sub-function.
std::vector<int32_t> IdsUnder(Recordset rs, int32_t sub_func) {
  std::vector<int32_t> ids;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
    if (CLng(rs.Value("FSubFuncID")) == sub_func) ids.push_back(CLng(rs.Value("FDetailFuncID")));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

class DetailSyncRoadTest : public test::DetailSyncTest {};

TEST_F(DetailSyncRoadTest, TheNextReadOfAnAffectedUserShowsTheNewRows) {
  DatasInfo info(runtime_);
  clsDataInfo snapshots(runtime_);
  int32_t sub_func = 100101;
  // Cached before the synchronisation.
  ASSERT_EQ(IdsUnder(info.GetDetailFunc(Dsn(5), sub_func), 100101),
            (std::vector<int32_t>{10010101, 10010150, 1000000001}));
  ASSERT_EQ(IdsUnder(*snapshots.GetUserData(Dsn(6))->Item("DetailFunc").AsRecordset(), 600201),
            (std::vector<int32_t>{60020109, 60020160}));

  update_.RefreshDetailFunc(Dsn(5), 100101,
                            List({Item({{"FFuncName", Variant("录入")}}), Item({{"FFuncName", Variant("私有")}})}),
                            true, false);
  update_.RefreshDetailFunc(Dsn(5), 600201, List({Item({{"FClassParam", Variant("3001")}})}));

  EXPECT_EQ(IdsUnder(info.GetDetailFunc(Dsn(5), sub_func), 100101),
            (std::vector<int32_t>{10010101, 10010102, 1000000001}));
  EXPECT_TRUE(IdsUnder(*snapshots.GetUserData(Dsn(6))->Item("DetailFunc").AsRecordset(), 600201).empty());
}

TEST_F(DetailSyncRoadTest, FavouritesFollowAFunctionWhoseNameChanged) {
  DatasInfo info(runtime_);
  auto favourite_name = [&] {
    Recordset rs = info.GetDetailNormalFunc(Dsn(5), 1).Filter("FDetailFuncID", Variant(10010101));
    return rs.Eof() ? std::string("<none>") : CStr(rs.Value("FFuncName"));
  };
  ASSERT_EQ(favourite_name(), "录入");
  update_.RefreshDetailFunc(Dsn(5), 100101, List({Item({{"FFuncName", Variant("凭证录入")}})}));
  EXPECT_EQ(favourite_name(), "凭证录入");
  EXPECT_EQ(Marks(), 0);
}

// A server on a free loopback port in front of the fixture's database.
class DetailSyncRemoteTest : public test::DetailSyncTest {
 protected:
  void SetUp() override {
    DetailSyncTest::SetUp();
    server_ = std::make_unique<test::TestServer>(runtime_, server::PublicTypeLibrary(),
                                                 test::ServerOptionsFor(connect_string_));
    port_ = server_->port();
  }
  void TearDown() override { server_.reset(); }

  test::RawReply Post(const std::string& method, Json args) {
    test::RawConnection connection(port_);
    return connection.Post("/rpc/LXMDataFlow.DatasUpdate/" + method, Json{{"args", args}}.dump());
  }

  // Runs the command line; its output and exit status.
  static std::pair<std::string, int> Run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"", -1};
    std::array<char, 4096> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  // --db PATH or --connect TEXT, quoted for the shell.
  std::string DbOption() const {
    std::vector<std::string> args = CliArgs();
    return args[0] + " " + test::ShellQuoted(args[1]);
  }

  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
};

TEST_F(DetailSyncRemoteTest, OverHttpListsArriveAsArraysOfObjects) {
  test::RawReply reply =
      Post("RefreshDetailFunc",
           Json::array({Dsn(5), 100101,
                        Json::array({{{"FFuncName", "录入"}}, {{"FFuncName", "O'Brien"}, {"FVisible", false}}}), true,
                        false}));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(Row("SELECT FFuncName, FVisible FROM t_UserDetailFunc WHERE FUserID = 5 AND FDetailFuncID = 10010102"),
            (std::map<std::string, std::string>{{"FFuncName", "O'Brien"}, {"FVisible", "0"}}));

  // Failure: error 11 with the step's description.
  reply = Post("RefreshDetailFunc", Json::array({Dsn(5), 100101, Json::array({"not an item"})}));
  EXPECT_EQ(reply.status, 500);
  Json error = Json::parse(reply.body)["error"];
  EXPECT_EQ(error["number"], 11);
  EXPECT_EQ(error["source"], "LXMDataFlow.DatasUpdate.RefreshDetailFunc");
  EXPECT_EQ(error["description"], "Type mismatch");
  // A list that is not a list is refused before the method runs.
  EXPECT_EQ(Post("RefreshDetailFunc", Json::array({Dsn(5), 100101, "x"})).status, 400);

  reply = Post("CreateSubFunc", Json::array({Dsn(5), 1001, 3, Json{{"FFuncName", "新"}}, true}));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(Json::parse(reply.body)["result"], 100103);
  reply = Post("CreateSubFunc", Json::array({Dsn(5), 1001, 3, Json{{"FFuncName", "again"}}, true}));
  EXPECT_EQ(Json::parse(reply.body)["result"], 0);
  reply = Post("CreateDetailFunc", Json::array({Dsn(5), 100101, 4, Json{{"FFuncName", "四"}}, true}));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010104"), 1);
}

TEST_F(DetailSyncRemoteTest, FromTheCommandLineInProcessAndThroughTheServer) {
  const std::string cli = LXM_CLI_PATH;
  auto [output, status] = Run(cli + " call LXMDataFlow.DatasUpdate RefreshDetailFunc 600201 " +
                              test::ShellQuoted(R"([{"FClassParam":"3001","FFuncName":"x"},{"FClassParam":"12"}])") + " " +
                              DbOption() + " --user 5");
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(IdList("SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID = 600201 ORDER BY 1"),
            (std::vector<int32_t>{60020101, 60020108, 60020109}));

  std::tie(output, status) =
      Run(cli + " call LXMDataFlow.DatasUpdate RefreshDetailFunc 100101 " + test::ShellQuoted(R"([{"FFuncName":"新"}])") +
          " true false --server http://127.0.0.1:" + std::to_string(port_) + " --dsn " + test::ShellQuoted(Dsn(6)));
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(IdList("SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FUserID = 6 AND FSubFuncID = 100101"),
            (std::vector<int32_t>{10010101}));

  std::tie(output, status) = Run(cli + " call LXMDataFlow.DatasUpdate RefreshDetailFunc 100101 " +
                                 test::ShellQuoted(R"([{"FDetailFuncID":"abc"}])") + " " + DbOption() + " --user 5");
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("LXMDataFlow.DatasUpdate.RefreshDetailFunc"), std::string::npos) << output;
  EXPECT_NE(output.find("Type mismatch"), std::string::npos) << output;

  std::tie(output, status) = Run(cli + " call LXMDataFlow.DatasUpdate CreateSubFunc 1001 9 " +
                                 test::ShellQuoted(R"({"FFuncName":"nine"})") + " true " + DbOption() + " --user 5");
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("100109"), std::string::npos) << output;
}

}  // namespace
}  // namespace lxm
