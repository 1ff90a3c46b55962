// CreateDetailFunc and CreateSubFunc: one new node, or, on any failure, no
// error and nothing written.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "update/detail_sync_fixture.h"

namespace lxm {
namespace {

class CreateTest : public test::DetailSyncTest {};

TEST_F(CreateTest, CreateDetailFuncInsertsOneFunctionInTheTemplateOrTheOverlay) {
  auto before = Stamps();
  update_.CreateDetailFunc(Dsn(5), 100101, 5, Values({{"FFuncName", Variant("O'Neil")}, {"FFuncType", Variant("4")}}),
                           true);
  auto row = Row("SELECT * FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010105");
  EXPECT_EQ(row["FFuncName"], "O'Neil");
  EXPECT_EQ(row["FFuncType"], "4");
  EXPECT_EQ(row["FIndex"], "5");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));

  // In the overlay, a name the template has reuses its ID.
  before = Stamps();
  update_.CreateDetailFunc(Dsn(6, "en"), 100101, 9, Values({{"FFuncName", Variant("entry")}}));
  EXPECT_EQ(Row("SELECT FFuncName, FIndex FROM t_UserDetailFunc WHERE FUserID = 6 AND FDetailFuncID = 10010101"),
            (std::map<std::string, std::string>{{"FFuncName", "entry"}, {"FIndex", "9"}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow6"}));

  // In traditional Chinese the name is looked up in the "_CHT" column.
  update_.CreateDetailFunc(Dsn(7, "cht"), 100101, 9, Values({{"FFuncName", Variant("錄入")}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FUserID = 7 AND FDetailFuncID = 10010101"), 1);
}

TEST_F(CreateTest, CreateDetailFuncUnder600201MovesEveryUsersRowOfThatClassParameter) {
  auto before = Stamps();
  update_.CreateDetailFunc(Dsn(5), 600201, 30, Values({{"FFuncName", Variant("三十")}, {"FClassParam", Variant("60")}}),
                           true);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 60020130"), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FUserID = 6 AND FDetailFuncID = 60020130"), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FDetailFuncID = 60020160"), 0);
  EXPECT_EQ(MovedSince(before).size(), before.size());  // every stamp row

  // No class parameter: the one blank stored matches users' rows of blanks
  // or of nothing, as the account databases compare text.
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FFuncName, FClassParam) VALUES "
       "(60020180, 5, 600201, 'five', ' '), (60020181, 6, 600201, 'six', '')");
  update_.CreateDetailFunc(Dsn(5), 600201, 31, Values({{"FFuncName", Variant("空")}}), true);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FDetailFuncID = 60020131"), 2);
  // A user's own blank row takes the template's names for that parameter.
  update_.CreateDetailFunc(Dsn(7), 600201, 40, Values({{"FFuncName", Variant("seven")}}));
  EXPECT_EQ(Row("SELECT FFuncName FROM t_UserDetailFunc WHERE FUserID = 7 AND FDetailFuncID = 60020140"),
            (std::map<std::string, std::string>{{"FFuncName", "空"}}));
}

TEST_F(CreateTest, CreateSubFuncCutsNamesAndReturnsTheNewID) {
  std::string chinese;
  for (int i = 0; i < 60; ++i) chinese += "名";
  const std::string english(60, 'e');
  auto before = Stamps();
  EXPECT_EQ(
      update_.CreateSubFunc(
          Dsn(5), 1001, 7,
          Values({{"FFuncName", Variant(chinese)}, {"FFuncName_En", Variant(english)}, {"FRefresh", Variant(true)}}),
          true),
      100107);
  auto row = Row("SELECT * FROM t_DataFlowSubFunc WHERE FSubFuncID = 100107");
  std::string fifty;
  for (int i = 0; i < 50; ++i) fifty += "名";
  EXPECT_EQ(row["FFuncName"], fifty);
  EXPECT_EQ(row["FFuncName_CHT"], fifty);
  EXPECT_EQ(row["FFuncName_EN"], english);
  EXPECT_EQ(row["FSubSysID"], "1001");
  EXPECT_EQ(row["FIndex"], "7");
  EXPECT_EQ(row["FVisible"], "1");
  EXPECT_EQ(row["FRefresh"], "1");
  EXPECT_EQ(row["FClassName"], " ");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));

  // Characters count as the client counts them: an emoji is two.
  std::string emoji;
  for (int i = 0; i < 60; ++i) emoji += "😀";
  EXPECT_EQ(update_.CreateSubFunc(Dsn(5), 1001, 9, Values({{"FFuncName", Variant(emoji)}}), true), 100109);
  auto emoji_row = Row("SELECT FFuncName, FFuncName_EN FROM t_DataFlowSubFunc WHERE FSubFuncID = 100109");
  EXPECT_EQ(emoji_row["FFuncName"], emoji.substr(0, 25 * 4));
  EXPECT_EQ(emoji_row["FFuncName_EN"], emoji);

  before = Stamps();
  EXPECT_EQ(
      update_.CreateSubFunc(
          Dsn(5), 1001, 8,
          Values({{"FSubFuncID", Variant("10000001")}, {"FFuncName", Variant("mine")}, {"FVisible", Variant(false)}})),
      10000001);
  EXPECT_EQ(Row("SELECT FSubSysID, FFuncName_EN, FVisible, FIndex FROM t_UserSubFunc WHERE FUserID = 5"),
            (std::map<std::string, std::string>{
                {"FSubSysID", "1001"}, {"FFuncName_EN", "mine"}, {"FVisible", "0"}, {"FIndex", "8"}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
}

TEST_F(CreateTest, AFailedCreationIsSwallowedAndLeavesNothing) {
  struct Case {
    const char* input;
    std::function<int32_t()> call;  // the result, or -1 for CreateDetailFunc
    int32_t result;
  };
  auto detail = [&](std::string dsn, int32_t sub_func, std::shared_ptr<Dictionary> item, bool template_mode) {
    return [=, this] {
      update_.CreateDetailFunc(dsn, sub_func, 4, item, template_mode);
      return -1;
    };
  };
  auto sub = [&](std::string dsn, int32_t sub_system, std::shared_ptr<Dictionary> item) {
    return [=, this] { return update_.CreateSubFunc(dsn, sub_system, 4, item, true); };
  };
  const Case cases[] = {
      {"detail: ID not a number", detail(Dsn(5), 100101, Values({{"FDetailFuncID", Variant("one")}}), true), -1},
      {"detail: ID taken", detail(Dsn(5), 100101, Values({{"FFuncName", Variant("录入")}}), true), -1},
      {"detail: no item", detail(Dsn(5), 100101, nullptr, false), -1},
      {"detail: ID overflows", detail(Dsn(5), 30000000, Values({{"FFuncName", Variant("x")}}), true), -1},
      {"detail: bad descriptor", detail(Dsn(5) + ";UserID=6", 100101, Values({}), true), -1},
      {"detail: stamp refused", detail(Dsn(7), 100101, Values({{"FFuncName", Variant("x")}}), false), -1},
      {"sub: ID not a number", sub(Dsn(5), 1001, Values({{"FSubFuncID", Variant("x")}})), 0},
      {"sub: ID taken", sub(Dsn(5), 1001, Values({{"FSubFuncID", Variant(100101)}})), 0},
      {"sub: ID overflows", sub(Dsn(5), 30000000, Values({})), 0},
      {"sub: no item", sub(Dsn(5), 1001, nullptr), 0},
      {"sub: stamp refused", sub(Dsn(5), 1001, Values({{"FFuncType", Variant(2)}})), 0},
  };
  AddFault("fault",
           "BEFORE UPDATE ON t_DataFlowTimeStamp WHEN OLD.FName = 'DataFlow7' OR "
           "EXISTS(SELECT 1 FROM t_DataFlowSubFunc WHERE FFuncType = 2)",
           "boom");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string dump = Dump();
    auto stamps = Stamps();
    int32_t result = 1;
    EXPECT_NO_THROW(result = c.call());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(Dump(), dump);
    EXPECT_TRUE(MovedSince(stamps).empty());
  }
}

}  // namespace
}  // namespace lxm
