// DatasInfo listings and the level cache behind them, as a client sees them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/recordset_helpers.h"
#include "test_support/error_matchers.h"
#include "tree/cls_data_info.h"

namespace lxm {
namespace {

using test::Ids;

std::string NameOf(Recordset rs, const std::string& id_field, int32_t id, const std::string& name_field) {
  Recordset row = rs.Filter(id_field, Variant(id));
  return row.Eof() ? std::string("<none>") : row.Value(name_field).AsString();
}

class DatasInfoTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, "
         "FSubID) VALUES (1001, 1, '总账', '總賬', 'Ledger', 10, 'GL'), (1002, 1, '报表', '報表', 'Reports', "
         "20, ' '), (2001, 2, '总账二', '總賬二', 'Ledger 2', 10, 'GL'), (900, 9, '总账帮助', '總賬幫助', "
         "'GL help', 10, 'gl')");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FSubID) VALUES "
         "(100101, 1001, 10, '凭证', 'GL'), (100201, 1002, 10, '报表', '  '), (100202, 1002, 20, '其他', 'XX')");
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName) VALUES "
         "(10010101, 100101, 10, '录入'), (10020101, 100201, 10, '查询'), (10020201, 100202, 10, '其他')");
    // Overlay rows of users 5 and 6 and the shared default.
    Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, "
         "FVisible, FAcctType) VALUES (1001, 0, 1, '默认总账', '默認總賬', 'Default ledger', 10, 1, ''),"
         "(1001, 5, 1, '我的总账', '我的總賬', 'My ledger', 30, 1, ''),"
         "(1002, 5, 1, '我的报表', '我的報表', 'My reports', 10, 0, ',12,'),"
         "(1001, 6, 1, '六的总账', '六的總賬', 'Six ledger', 10, 1, '')");
  }

  DatasInfo info_{runtime_};
};

TEST_F(DatasInfoTest, ListingsReturnTheCallersOwnRowsOfTheWholeLevel) {
  int32_t top = -77;
  Recordset rs = info_.GetSubSystem(Dsn(5, "en"), top);
  EXPECT_EQ(top, -77);
  // Own rows only, hidden rows and any account type included, in index order.
  EXPECT_EQ(Ids(rs, "FSubSysID"), (std::vector<int32_t>{1002, 1001}));
  EXPECT_EQ(rs.Value("FName").AsString(), "My reports");
  EXPECT_EQ(rs.Value("FVisible").AsLong(), 0);
  EXPECT_EQ(rs.Value("FName_CHS").AsString(), "我的报表");
  for (int32_t any_id : {0, -1, 1001, 999999}) {
    SCOPED_TRACE(any_id);
    int32_t id = any_id;
    EXPECT_EQ(Ids(info_.GetSubSystem_All(Dsn(5, "en"), id), "FSubSysID"), Ids(rs, "FSubSysID"));
    EXPECT_EQ(id, any_id);
  }
  EXPECT_EQ(Ids(info_.GetSubSystem(Dsn(6), top), "FSubSysID"), (std::vector<int32_t>{1001}));
}

TEST_F(DatasInfoTest, EmptyLevelsAreEmptyRecordsetsWithTheirFields) {
  int32_t id = 0;
  struct Case {
    std::string name;
    Recordset rs;
    std::string first_field;
  };
  std::vector<Case> cases = {{"TopClass", info_.GetTopClass(Dsn(5)), "FTopClassID"},
                             {"TopClass_All", info_.GetTopClass_All(Dsn(5)), "FTopClassID"},
                             {"SubFunc", info_.GetSubFunc(Dsn(5), id), "FSubFuncID"},
                             {"SubFunc_All", info_.GetSubFunc_All(Dsn(5), id), "FSubFuncID"},
                             {"DetailFunc", info_.GetDetailFunc(Dsn(5), id), "FDetailFuncID"},
                             {"DetailFunc_All", info_.GetDetailFunc_All(Dsn(5), id), "FDetailFuncID"},
                             {"DetailFuncInfo", info_.GetDetailFuncInfo(Dsn(5), id), "FDetailFuncID"},
                             {"SubSystem of a user without rows", info_.GetSubSystem(Dsn(7), id), "FSubSysID"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.rs.Eof());
    ASSERT_FALSE(c.rs.Fields().empty());
    EXPECT_EQ(c.rs.Fields()[0].name, c.first_field);
  }
}

TEST_F(DatasInfoTest, LevelColumnsAreTheCachesNarrowLists) {
  int32_t id = 0;
  Recordset sub = info_.GetSubSystem(Dsn(5), id);
  std::vector<std::string> names;
  for (const Field& field : sub.Fields()) names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FSubSysID", "FName_CHS", "FName_CHT", "FName_EN", "FName",
                                             "FTopClassID", "FIndex", "FAcctType", "FVisible"}));
}

TEST_F(DatasInfoTest, AWarmListingServesTheCacheUntilTheUsersStampMoves) {
  int32_t id = 0;
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5), id), "FSubSysID", 1001, "FName"), "我的总账");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(6), id), "FSubSysID", 1001, "FName"), "六的总账");
  // Rows changed behind the service's back, no stamp touched: both users are
  // served their cached levels.
  Exec("UPDATE t_UserSubSystem SET FName = 'changed' WHERE FSubSysID = 1001");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5), id), "FSubSysID", 1001, "FName"), "我的总账");
  // The typical edit: user 5's stamp is touched; user 5 reloads, user 6's
  // cached levels stay as they were.
  Exec("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = 'DataFlow5'");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5), id), "FSubSysID", 1001, "FName"), "changed");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(6), id), "FSubSysID", 1001, "FName"), "六的总账");
}

TEST_F(DatasInfoTest, LanguagesAreCachedSeparately) {
  int32_t id = 0;
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "en"), id), "FSubSysID", 1001, "FName"), "My ledger");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "cht"), id), "FSubSysID", 1001, "FName"), "我的總賬");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "chs"), id), "FSubSysID", 1001, "FName"), "我的总账");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "en"), id), "FSubSysID", 1001, "FName"), "My ledger");
  // Column names compare without regard to case; "chs" alone is exact.
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "EN"), id), "FSubSysID", 1001, "FName"), "My ledger");
  EXPECT_EQ(NameOf(info_.GetSubSystem(Dsn(5, "Cht"), id), "FSubSysID", 1001, "FName"), "我的總賬");
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetSubSystem(Dsn(5, "CHS"), id); }), errors::kDatabase);
}

TEST_F(DatasInfoTest, AccountsNeverShareCacheEntries) {
  // A second database with other rows for the same user IDs.
  test::ScratchAccount other(runtime_);
  const std::string& other_path = other.connect_string();
  RunInCallScope(runtime_, true, [&] {
    CallScope::Current()->TransactionFor(other_path)
        .Execute("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FName) VALUES (1001, 3, 'other account'),"
                 " (1001, 23, 'other account 23')");
  });
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FName) VALUES (1001, 23, 'this account 23'),"
       " (1001, 3, 'this account 3')");
  auto dsn = [](const std::string& connect_string, int32_t user, const std::string& uuid) {
    std::string text = DescriptorFor(connect_string, user, "chs");
    return uuid.empty() ? text : text + ";UUID=" + uuid;
  };
  int32_t id = 0;
  // "X1" + 23 and "X12" + 3 would have been the same key.
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(connect_string_, 23, "X1"), id), "FSubSysID", 1001, "FName"), "this account 23");
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(other_path, 3, "X12"), id), "FSubSysID", 1001, "FName"),
            "other account");
  // The same UUID on two databases: the database still tells them apart
  // (each database counts its stamps from the start, so stamps can be equal).
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(connect_string_, 3, "SAME"), id), "FSubSysID", 1001, "FName"), "this account 3");
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(other_path, 3, "SAME"), id), "FSubSysID", 1001, "FName"),
            "other account");
  clsDataInfo data_info(runtime_);
  EXPECT_EQ(data_info.GetTemplate(dsn(connect_string_, 3, "SAME"))->Item("SubSystem").AsRecordset()->RecordCount(), 4);
  EXPECT_EQ(data_info.GetTemplate(dsn(other_path, 3, "SAME"))->Item("SubSystem").AsRecordset()->RecordCount(), 0);
  // Without a UUID the database itself tells the accounts apart.
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(connect_string_, 23, ""), id), "FSubSysID", 1001, "FName"), "this account 23");
  EXPECT_EQ(NameOf(info_.GetSubSystem(dsn(other_path, 23, ""), id), "FSubSysID", 1001, "FName"),
            "other account 23");
}

TEST_F(DatasInfoTest, StampDictionaryAndTemplateLevelsArePrepared) {
  RequestContext context = PrepareContext(runtime_, Dsn(5, "en"));
  RunInCallScope(runtime_, false, [&] {
    PreparedLevels prepared;
    auto stamps = PrepareSnapshotStamps(*context.data_source, &prepared);
    ASSERT_EQ(stamps->Count(), 3);
    EXPECT_EQ(stamps->KeyAt(1), "TimeStamp");
    EXPECT_EQ(stamps->KeyAt(2), "UserTimeStamp");
    EXPECT_EQ(stamps->KeyAt(3), "UserID");
    EXPECT_EQ(stamps->Item("UserID").AsLong(), 5);
    CacheIdentity identity = CacheIdentityOf(*context.parse);
    auto sub = GetCachedLevel(runtime_, "SubSystem", *stamps, "en", identity, true);
    ASSERT_TRUE(sub.has_value());
    EXPECT_EQ(Ids(*sub, "FSubSysID"), (std::vector<int32_t>{900, 1001, 2001, 1002}));
    EXPECT_EQ(sub->FieldIndex("FShowSysType"), -1);  // the narrow list
    EXPECT_TRUE(GetCachedLevel(runtime_, "AcctType", *stamps, "en", identity, true).has_value());
    EXPECT_FALSE(GetCachedLevel(runtime_, "AcctType", *stamps, "en", identity, false).has_value());
    EXPECT_FALSE(GetCachedLevel(runtime_, "SubSystem", *stamps, "chs", identity, false).has_value());
  });
}

TEST_F(DatasInfoTest, TemplateSnapshotIsCachedUntilTheTemplateStampMoves) {
  clsDataInfo data_info(runtime_);
  auto first = data_info.GetTemplate(Dsn(5));
  Exec("UPDATE t_DataFlowSubSystem SET FName = 'renamed' WHERE FSubSysID = 1001");
  auto cached = data_info.GetTemplate(Dsn(5));
  EXPECT_EQ(NameOf(*cached->Item("SubSystem").AsRecordset(), "FSubSysID", 1001, "FName"), "总账");
  Exec("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = 'DataFlow'");
  auto fresh = data_info.GetTemplate(Dsn(5));
  EXPECT_EQ(NameOf(*fresh->Item("SubSystem").AsRecordset(), "FSubSysID", 1001, "FName"), "renamed");
  EXPECT_NE(fresh->Item("TimeStamp").AsString(), first->Item("TimeStamp").AsString());
  // Without the cache component the snapshot is still served, read afresh.
  runtime_.components().Unregister(CacheService::kProgID);
  EXPECT_EQ(data_info.GetTemplate(Dsn(5))->Item("SubSystem").AsRecordset()->RecordCount(), 4);
  // Listings need the cache: they fail with the creation error, once the
  // template stamp row has been read (and made when missing).
  Exec("DELETE FROM t_DataFlowTimeStamp WHERE FName = 'DataFlow'");
  int32_t id = 0;
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetSubSystem(Dsn(5), id); }), errors::kCannotCreateObject);
  EXPECT_NE(StampVersion("DataFlow"), -1);
}

TEST_F(DatasInfoTest, BadDescriptorsFailEveryListing) {
  int32_t id = 0;
  std::string twice = Dsn(5) + ";USERID=5";
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetTopClass(twice); }), errors::kDuplicateKey);
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetDetailFunc(twice, id); }), errors::kDuplicateKey);
  std::optional<ComError> help = test::ErrorOf([&] { info_.GetSubSystemHelp(twice, 10010101); });
  ASSERT_TRUE(help.has_value());
  EXPECT_EQ(help->number(), errors::kDuplicateKey);
  EXPECT_EQ(help->source(), "LxmDataFlow.DatasInfo:GetSubSystemHelp");
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetSubFunc("ConnectString={" + connect_string_ + "}", id); }),
            errors::kTypeMismatch);
  EXPECT_EQ(test::ErrorNumberOf([&] { info_.GetSubFunc(Dsn(5, "de"), id); }), errors::kDatabase);
}

TEST_F(DatasInfoTest, HelpSubsystemSharesTheSubFunctionsModuleCode) {
  // 10010101 lies under sub-function 100101 (code GL): subsystems 900 ("gl"),
  // 1001 and 2001 share it; the smallest ID wins.
  EXPECT_EQ(info_.GetSubSystemHelp(Dsn(5), 10010101), 900);
  // A blank code links nothing; an unknown code or ID finds nothing.
  EXPECT_EQ(info_.GetSubSystemHelp(Dsn(5), 10020101), 0);
  EXPECT_EQ(info_.GetSubSystemHelp(Dsn(5), 10020201), 0);
  EXPECT_EQ(info_.GetSubSystemHelp(Dsn(5), 424242), 0);
  std::optional<ComError> error = test::ErrorOf([&] {
    info_.GetSubSystemHelp("ConnectString={Provider=SQLite;Data Source=/nonexistent/x.db};UserID=5", 1);
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDatabase);
  EXPECT_EQ(error->source(), "LxmDataFlow.DatasInfo:GetSubSystemHelp");
}

}  // namespace
}  // namespace lxm
