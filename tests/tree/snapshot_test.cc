// Template and user snapshots, seen as a client sees them.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <thread>
#include <set>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/recordset_helpers.h"
#include "test_support/error_matchers.h"
#include "tree/cls_data_info.h"

namespace lxm {
namespace {

using test::FieldNames;

std::vector<std::string> Keys(const Dictionary& dictionary) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : dictionary.entries()) keys.push_back(key);
  return keys;
}

Recordset Level(const Dictionary& snapshot, const std::string& key) {
  return *snapshot.Item(key).AsRecordset();
}

// IDs of a level in the order the recordset gives them.
using test::Ids;

class SnapshotTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    // Template: three top classes, two sharing FIndex 10.
    Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FTopClassName_CHT, "
         "FTopClassName_EN, FIndex, FVisible, FShowSysType, FAcctType, FToolTips, FToolTips_CHT, "
         "FToolTips_EN) VALUES "
         "(1, '财务会计', '財務會計', 'Accounting', 20, 1, 2, '', '提示', '提示T', 'Tip'),"
         "(3, '生产', '生產', 'Production', 10, 1, 0, ',1,', NULL, NULL, NULL),"
         "(2, '供应链', '供應鏈', 'Supply chain', 10, 0, 0, '', NULL, NULL, NULL)");
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_CHT, FName_EN, "
         "FIndex, FSubID) VALUES (1001, 1, '总账', '總賬', 'General ledger', 10, 'GL'),"
         "(1002, 1, '报表', '報表', 'Reports', 20, '')");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, "
         "FFuncName_EN) VALUES (100101, 1001, 10, '凭证处理', '憑證處理', 'Vouchers')");
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName, "
         "FFuncName_CHT, FFuncName_EN, FHelpCode, FShowName, FShowName_CHT, FShowName_EN) VALUES "
         "(10010102, 100101, 10, '凭证查询', '憑證查詢', 'Voucher query', 'PZCX', '查', '查T', 'Q'),"
         "(10010101, 100101, 10, '凭证录入', '憑證錄入', 'Voucher entry', 'PZLR', '录', '錄', 'E')");
    Exec("INSERT INTO t_DataFlowAcctType (FAcctType, FacctTrade, FName, FName_CHT, FName_EN, FDesc, "
         "FDesc_CHT, FDesc_EN, FShowName, FShowName_CHT, FShowName_EN, FNumber) VALUES "
         "(2, 0, '工业', '工業', 'Industry', 'd', 'dT', 'dE', 's', 'sT', 'Industry show', '02'),"
         "(1, 0, '商业', '商業', 'Commerce', 'd', 'dT', 'dE', 's', 'sT', 'Commerce show', '01')");
    Exec("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES ('ShowTips', '1')");
    // Overlays: defaults (user 0) and user 5's own rows; user 5 also made a
    // detail function of its own.
    Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FTopClassName_CHT, "
         "FTopClassName_EN, FIndex, FVisible, FAcctType) VALUES "
         "(1, 0, '默认财务', '默認財務', 'Default accounting', 20, 1, ''),"
         "(1, 5, '我的财务', '我的財務', 'My accounting', 5, 1, ''),"
         "(2, 0, '默认供应链', '默認供應鏈', 'Default supply', 10, 1, '')");
    Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_CHT, FName_EN, "
         "FIndex, FVisible) VALUES (1002, 5, 1, '报表', '報表', 'Reports', 20, 0)");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, "
         "FFuncName_CHT, FFuncName_EN, FVisible, FHelpCode, FEnable) VALUES "
         "(10010101, 0, 100101, 30, '录入', '錄入', 'Entry', 1, 'PZLR', 1),"
         "(1000000001, 5, 100101, 40, '我的查询', '我的查詢', 'My query', 1, 'MYQ', 1)");
    Exec("INSERT INTO t_UserDataFlowProfile (FName, FValue, FUserID) VALUES "
         "('Layout', 'wide', 5), ('Layout', 'narrow', 0)");
  }

  clsDataInfo data_info_{runtime_};
};

TEST_F(SnapshotTest, TemplateSnapshotHasEveryLevelWithItsColumns) {
  auto snapshot = data_info_.GetTemplate(Dsn(5, "en"));
  EXPECT_EQ(Keys(*snapshot), (std::vector<std::string>{"TimeStamp", "TopClass", "SubSystem", "SubFunc",
                                                        "DetailFunc", "AcctType", "Profile"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "TopClass")),
            (std::vector<std::string>{"FTopClassID", "FTopClassName_CHS", "FTopClassName_CHT",
                                      "FTopClassName_EN", "FTopClassName", "FIndex", "FVisible",
                                      "FShowSysType", "FAcctType", "FToolTips"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "SubSystem")),
            (std::vector<std::string>{"FSubSysID", "FName_CHS", "FName_CHT", "FName_EN", "FName",
                                      "FTopClassID", "FClassName", "FIndex", "FVisible", "FShowSysType",
                                      "FAcctType", "FRefresh", "FNote", "FAppClassName", "FHelpFileName",
                                      "FTipID", "FUpdateBaseData", "FSubID"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "SubFunc")),
            (std::vector<std::string>{"FSubFuncID", "FSubSysID", "FIndex", "FFuncName_CHS",
                                      "FFuncName_CHT", "FFuncName_EN", "FFuncName", "FClassName",
                                      "FClassParam", "FVisible", "FAcctType", "FFuncType", "FRefresh",
                                      "FSetEnable", "FSubID", "FIsEdit"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "DetailFunc")),
            (std::vector<std::string>{"FDetailFuncID", "FFuncName_CHS", "FFuncName_CHT", "FFuncName_EN",
                                      "FFuncName", "FSubFuncID", "FIndex", "FClassName", "FClassParam",
                                      "FIsNormal", "FHelpCode", "FVisible", "FAcctType", "FFuncType",
                                      "FEnable", "FShowName", "FIsEdit"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "AcctType")),
            (std::vector<std::string>{"FAccttype", "FacctTrade", "FName", "FDesc", "FShowName", "FNumber",
                                      "FForbidden", "FDeleted"}));
  EXPECT_EQ(FieldNames(Level(*snapshot, "Profile")), (std::vector<std::string>{"FName", "FValue"}));
}

TEST_F(SnapshotTest, TemplateLevelsAreOrderedByIndexThenId) {
  auto snapshot = data_info_.GetTemplate(Dsn(5));
  EXPECT_EQ(Ids(Level(*snapshot, "TopClass"), "FTopClassID"), (std::vector<int32_t>{2, 3, 1}));
  EXPECT_EQ(Ids(Level(*snapshot, "DetailFunc"), "FDetailFuncID"),
            (std::vector<int32_t>{10010101, 10010102}));
  EXPECT_EQ(Ids(Level(*snapshot, "AcctType"), "FAccttype"), (std::vector<int32_t>{1, 2}));
  // Template rows of any visibility and account type are all there.
  Recordset top = Level(*snapshot, "TopClass");
  EXPECT_EQ(top.Value("FVisible").AsLong(), 0);
}

TEST_F(SnapshotTest, NamesFollowTheRequestLanguage) {
  struct Case {
    std::string language;
    std::string top_name;
    std::string show_name;
    std::string acct_show;
  };
  for (const Case& c : std::vector<Case>{{"chs", "财务会计", "录", "s"},
                                         {"cht", "財務會計", "錄", "sT"},
                                         {"en", "Accounting", "E", "Commerce show"}}) {
    SCOPED_TRACE(c.language);
    auto snapshot = data_info_.GetTemplate(Dsn(5, c.language));
    Recordset top = Level(*snapshot, "TopClass").Filter("FTopClassID", Variant(1));
    EXPECT_EQ(top.Value("FTopClassName").AsString(), c.top_name);
    EXPECT_EQ(top.Value("FTopClassName_CHS").AsString(), "财务会计");
    EXPECT_EQ(top.Value("FTopClassName_CHT").AsString(), "財務會計");
    EXPECT_EQ(top.Value("FTopClassName_EN").AsString(), "Accounting");
    Recordset detail = Level(*snapshot, "DetailFunc");
    EXPECT_EQ(detail.Value("FShowName").AsString(), c.show_name);
    Recordset acct = Level(*snapshot, "AcctType");
    EXPECT_EQ(acct.Value("FShowName").AsString(), c.acct_show);
  }
}

TEST_F(SnapshotTest, UnknownLanguageFailsLikeAMissingColumn) {
  for (const std::string language : {"fr", "CHS", "en;DROP TABLE t_DataFlowTopClass"}) {
    SCOPED_TRACE(language);
    std::string dsn = "ConnectString={" + connect_string_ + "};UserID=5;LANGUAGE={" + language + "}";
    std::optional<ComError> error = test::ErrorOf([&] { data_info_.GetTemplate(dsn); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kDatabase);
    EXPECT_NE(error->description().find("FTopClassName_" + language), std::string::npos)
        << error->description();
    EXPECT_EQ(test::ErrorNumberOf([&] { data_info_.GetUserData(dsn); }), errors::kDatabase);
  }
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowTopClass").AsLong(), 3);
}

TEST_F(SnapshotTest, UserSnapshotMergesOwnRowsOverDefaults) {
  auto snapshot = data_info_.GetUserData(Dsn(5, "en"));
  EXPECT_EQ(Keys(*snapshot), (std::vector<std::string>{"TimeStamp", "TopClass", "SubSystem", "SubFunc",
                                                        "DetailFunc", "Profile"}));
  Recordset top = Level(*snapshot, "TopClass");
  EXPECT_EQ(FieldNames(top), (std::vector<std::string>{"FTopClassID", "FTopClassName_CHS",
                                                       "FTopClassName_CHT", "FTopClassName_EN",
                                                       "FTopClassName", "FIndex", "FAcctType", "FVisible"}));
  // Own row of node 1 (index 5) beats its default; node 2 comes from the
  // default; node 3 exists only in the template and is absent.
  EXPECT_EQ(Ids(top, "FTopClassID"), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(top.Value("FTopClassName").AsString(), "My accounting");
  top.MoveNext();
  EXPECT_EQ(top.Value("FTopClassName").AsString(), "Default supply");

  Recordset detail = Level(*snapshot, "DetailFunc");
  EXPECT_EQ(FieldNames(detail),
            (std::vector<std::string>{"FDetailFuncID", "FFuncName_CHS", "FFuncName_CHT", "FFuncName_EN",
                                      "FFuncName", "FSubFuncID", "FIndex", "FClassName", "FClassParam",
                                      "FVisible", "FHelpCode", "FEnable"}));
  EXPECT_EQ(Ids(detail, "FDetailFuncID"), (std::vector<int32_t>{10010101, 1000000001}));
  Recordset sub = Level(*snapshot, "SubSystem");
  EXPECT_EQ(Ids(sub, "FSubSysID"), (std::vector<int32_t>{1002}));
  EXPECT_EQ(sub.Value("FVisible").AsLong(), 0);
  EXPECT_EQ(FieldNames(Level(*snapshot, "SubFunc")),
            (std::vector<std::string>{"FSubFuncID", "FFuncName_CHS", "FFuncName_CHT", "FFuncName_EN",
                                      "FFuncName", "FSubSysID", "FIndex", "FVisible"}));
  EXPECT_EQ(Level(*snapshot, "SubFunc").RecordCount(), 0);

  // The profile level holds the user's own rows only.
  Recordset profile = Level(*snapshot, "Profile");
  ASSERT_EQ(profile.RecordCount(), 1);
  EXPECT_EQ(profile.Value("FValue").AsString(), "wide");
}

TEST_F(SnapshotTest, UserWithoutRowsSeesTheDefaults) {
  auto snapshot = data_info_.GetUserData(Dsn(7));
  Recordset top = Level(*snapshot, "TopClass");
  EXPECT_EQ(Ids(top, "FTopClassID"), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(top.Value("FTopClassName").AsString(), "默认供应链");
  EXPECT_EQ(Ids(Level(*snapshot, "DetailFunc"), "FDetailFuncID"), (std::vector<int32_t>{10010101}));
  EXPECT_EQ(Level(*snapshot, "Profile").RecordCount(), 0);
  EXPECT_TRUE(Level(*snapshot, "SubSystem").Eof());
}

TEST_F(SnapshotTest, StampsAreCreatedByTheFirstReadAndMoveOnlyWhenTouched) {
  EXPECT_EQ(StampVersion("DataFlow"), -1);
  auto first = data_info_.GetTemplate(Dsn(5));
  std::string stamp = first->Item("TimeStamp").AsString();
  EXPECT_TRUE(std::regex_match(stamp, std::regex("0x[0-9A-F]{16}"))) << stamp;
  EXPECT_NE(stamp, "0x0000000000000000");
  EXPECT_EQ(data_info_.GetTemplate(Dsn(5))->Item("TimeStamp").AsString(), stamp);
  EXPECT_EQ(data_info_.GetTemplateVer(Dsn(5)), stamp);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowTimeStamp").AsLong(), 1);

  // The user's row is 'DataFlow' + user ID, made once.
  std::string user_stamp = data_info_.GetUserData(Dsn(16394))->Item("TimeStamp").AsString();
  EXPECT_EQ(data_info_.GetUserTemplateVer(Dsn(16394)), user_stamp);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowTimeStamp WHERE FName = 'DataFlow16394'").AsLong(), 1);
  EXPECT_NE(user_stamp, stamp);

  // Any update of the row moves its stamp, also one that changes nothing.
  std::set<int64_t> seen = {StampVersion("DataFlow"), StampVersion("DataFlow16394")};
  for (int i = 0; i < 3; ++i) {
    Exec("UPDATE t_DataFlowTimeStamp SET FName = FName");
    EXPECT_TRUE(seen.insert(StampVersion("DataFlow")).second);
    EXPECT_TRUE(seen.insert(StampVersion("DataFlow16394")).second);
  }
  std::string moved = data_info_.GetTemplate(Dsn(5))->Item("TimeStamp").AsString();
  EXPECT_NE(moved, stamp);
  // A deleted row and its successor never share a value either.
  int64_t before = StampVersion("DataFlow");
  Exec("DELETE FROM t_DataFlowTimeStamp WHERE FName = 'DataFlow'");
  data_info_.GetTemplateVer(Dsn(5));
  EXPECT_GT(StampVersion("DataFlow"), before);
}

TEST_F(SnapshotTest, BadDescriptorsFailWithTheirErrors) {
  // A property named twice.
  EXPECT_EQ(test::ErrorNumberOf([&] { data_info_.GetTemplate(Dsn(5) + ";userid=6"); }),
            errors::kDuplicateKey);
  // No user, or a user that is no number.
  std::string no_user = "ConnectString={" + connect_string_ + "}";
  EXPECT_EQ(test::ErrorNumberOf([&] { data_info_.GetUserData(no_user); }), errors::kTypeMismatch);
  EXPECT_EQ(test::ErrorNumberOf([&] { data_info_.GetUserData(no_user + ";UserID=abc"); }),
            errors::kTypeMismatch);
  // The template needs no user.
  EXPECT_EQ(Level(*data_info_.GetTemplate(no_user), "TopClass").RecordCount(), 3);
  // A missing database file.
  std::string missing = "ConnectString={Provider=SQLite;Data Source=" + (dir_.path() / "gone.db").string() +
                        "};UserID=5";
  EXPECT_EQ(test::ErrorNumberOf([&] { data_info_.GetTemplate(missing); }), errors::kDatabase);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "gone.db"));
}

TEST_F(SnapshotTest, ConcurrentFirstReadsCreateOneStampRow) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      clsDataInfo info(runtime_);
      for (int user = 100; user < 120; ++user) {
        try {
          info.GetUserTemplateVer(Dsn(user));
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowTimeStamp").AsLong(), 20);
}

}  // namespace
}  // namespace lxm
