// Favourite reads: groups, raw items, and items joined with their functions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "info/datas_info.h"
#include "test_support/account_fixture.h"
#include "test_support/recordset_helpers.h"

namespace lxm {
namespace {

using test::Ids;

class FavouriteReadsTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName) VALUES (1001, 1, 'GL'), (7, 9, 'Desk')");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FFuncName) VALUES (100101, 1001, 'V'), "
         "(750, 7, 'Mine')");
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName, FFuncName_EN, "
         "FClassName, FIsNormal, FAcctType, FFuncType) VALUES "
         "(10010102, 100101, 1, '查询', 'Query', 'K.Q', 1, ',1,', 3),"
         "(10010101, 100101, 2, '录入', 'Entry', 'K.E', 0, '', 2),"
         "(75001, 750, 1, '模板750', 'Template 750', 'K.T', 0, '', 0)");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, FFuncName_EN, "
         "FClassName) VALUES (1000000001, 5, 100101, 9, '自建', 'Own', 'K.OWN'),"
         "(75001, 5, 750, 1, '我的750', 'My 750', 'K.T5'),"
         "(1000000002, 5, 10000000, 1, '孤儿', 'Orphan', 'K.X'),"
         "(1000000003, 6, 100101, 1, '别人', 'Other', 'K.O')");
    Exec("INSERT INTO t_NormalFuncGroup (FFuncGroupID, FUserID, FFuncGroupName, FShowName) VALUES "
         "(1, 5, '常用功能组', '常用功能组'), (2, 5, 'Month end', 'Month end'), (3, 6, 'Six', 'Six')");
    Exec("INSERT INTO t_NormalFunc (FFuncGroupID, FUserID, FDetailFuncID, FHelpCode, FShowName, FFuncName) VALUES "
         "(1, 5, 10010101, 'E1', 'my entry', 'Entry'), (1, 5, 10010102, 'Q1', 'my query', 'Query'),"
         "(1, 5, 1000000001, 'O1', 'my own', 'Own'), (1, 5, 75001, 'T1', 'my 750', '750'),"
         "(1, 5, 1000000002, 'X1', 'orphan', 'Orphan'), (1, 5, 999, 'G1', 'gone', 'Gone'),"
         "(1, 5, 10010101, 'E1', 'my entry', 'Entry'), (3, 6, 1000000003, 'S1', 'six', 'Other')");
  }

  DatasInfo info_{runtime_};
};

TEST_F(FavouriteReadsTest, GroupsAndRawItems) {
  EXPECT_EQ(Ids(info_.GetNormalFuncGroup(Dsn(5)), "FFuncGroupID"), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(Ids(info_.GetNormalFuncGroup(Dsn(6)), "FFuncGroupID"), (std::vector<int32_t>{3}));
  Recordset items = info_.GetNormalFunc(Dsn(5), 1);
  EXPECT_EQ(items.RecordCount(), 7);  // duplicates and dangling items included
  std::vector<std::string> names;
  for (const Field& field : items.Fields()) names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FFuncGroupID", "FUserID", "FDetailFuncID", "FHelpCode", "FShowName",
                                             "FFuncName"}));
  // No user condition: another user's group is readable by ID.
  EXPECT_EQ(Ids(info_.GetNormalFunc(Dsn(5), 3), "FDetailFuncID"), (std::vector<int32_t>{1000000003}));
  EXPECT_TRUE(info_.GetNormalFunc(Dsn(5), 2).Eof());
  EXPECT_TRUE(info_.GetNormalFunc(Dsn(5), -1).Eof());
}

TEST_F(FavouriteReadsTest, DetailItemsInTreeOrderWithTheFavouritesOwnNames) {
  Recordset rs = info_.GetDetailNormalFunc(Dsn(5, "en"), 1);
  std::vector<std::string> names;
  for (const Field& field : rs.Fields()) names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FDetailFuncID", "FFuncName", "FSubFuncID", "FIndex", "FClassName",
                                             "FClassParam", "FIsNormal", "FVisible", "FAcctType", "FFuncType",
                                             "FEnable", "FShowName", "FHelpCode"}));
  // Subsystem 7 (top class 9) sorts after 1001 (top class 1); the duplicate
  // item appears once; the 750 function only from the user's overlay; the
  // orphan and the vanished function not at all.
  EXPECT_EQ(Ids(rs, "FDetailFuncID"), (std::vector<int32_t>{10010102, 10010101, 1000000001, 75001}));
  EXPECT_EQ(rs.Value("FFuncName").AsString(), "Query");
  EXPECT_EQ(rs.Value("FShowName").AsString(), "my query");
  EXPECT_EQ(rs.Value("FHelpCode").AsString(), "Q1");
  EXPECT_EQ(rs.Value("FAcctType").AsString(), ",1,");
  rs.MoveNext();
  rs.MoveNext();
  // Overlay favourites: fixed attributes and the base (simplified Chinese) name.
  EXPECT_EQ(rs.Value("FFuncName").AsString(), "自建");
  EXPECT_EQ(rs.Value("FIsNormal").AsLong(), 0);
  EXPECT_EQ(rs.Value("FAcctType").AsString(), "");
  EXPECT_EQ(rs.Value("FFuncType").AsLong(), -1);
  rs.MoveNext();
  EXPECT_EQ(rs.Value("FClassName").AsString(), "K.T5");
  EXPECT_TRUE(info_.GetDetailNormalFunc(Dsn(5), 2).Eof());
  EXPECT_TRUE(info_.GetDetailNormalFunc(Dsn(5), -1).Eof());
}

}  // namespace
}  // namespace lxm
