// DatasInfo's single-node questions.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

using test::ErrorNumberOf;

class NodeQueriesTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FIndex) VALUES (1, '财务', 10), (2, '空', 20)");
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_CHT, FName_EN, FClassName, FIndex, "
         "FRefresh, FUpdateBaseData) VALUES "
         "(1001, 1, '总账', '總賬', 'Ledger', 'K3GL.Refresh', 10, 1, 1), "
         "(1002, 1, '报表', '報表', 'Reports', NULL, 20, 0, 0)");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FRefresh, FSetEnable) VALUES "
         "(100101, 1001, 5, '凭证', 1, 1), (100201, 1002, 3, '报表', 0, 0), (990001, 9999, 1, '孤儿', 0, 0)");
    // Sub-function 100101: indexes up to 3, greatest ID 10010112 (running number 12).
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName) VALUES "
         "(10010101, 100101, 1, 'a'), (10010112, 100101, 3, 'b'), (10020101, 100201, 9, 'c'), "
         "(99000101, 990001, 1, 'd')");
    Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FIndex) VALUES "
         "(1001, 5, 1, 7), (100000, 6, 2, 1)");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex) VALUES "
         "(10020101, 0, 100201, 3)");
    Exec("INSERT INTO t_DataFlowAcctType (FAcctType, FName, FName_EN, FNumber, FShowName, FShowName_EN) VALUES "
         "(1, '企业会计制度', 'Enterprise system', '01', '制度', 'System'), "
         "(3, '企业会计准则', 'Enterprise standards', 'ZZ', '准则', 'Standards')");
    Exec("INSERT INTO t_UserDataFlowProfile (FName, FValue, FUserID) VALUES ('ExpandLevel', '2', 5), "
         "('Empty', NULL, 5), ('ExpandLevel', '9', 6)");
  }

  std::string BadDsn() const { return Dsn(5) + ";UserID=6"; }

  DatasInfo info_{runtime_};
};

// ---- Subsystem above a node ----

TEST_F(NodeQueriesTest, GetSubSysClassFollowsTheNodeUpToItsTemplateSubsystem) {
  struct Case {
    int32_t id, type;
    std::string expected;
  };
  for (const Case& c : {Case{10010101, 4, "K3GL.Refresh"}, Case{100101, 3, "K3GL.Refresh"},
                        Case{10020101, 4, ""},  // FClassName Null
                        Case{99000101, 4, ""},  // the sub-function has no subsystem
                        Case{424242, 3, ""}}) {
    SCOPED_TRACE(c.id);
    int32_t id = c.id, type = c.type;
    EXPECT_EQ(info_.GetSubSysClass(Dsn(5), id, type), c.expected);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(type, c.type);
  }
  int32_t id = 1001, type = 2;
  EXPECT_EQ(ErrorNumberOf([&] { info_.GetSubSysClass(Dsn(5), id, type); }), errors::kInvalidCall);
  EXPECT_EQ(ErrorNumberOf([&] { info_.GetSubSysClass(BadDsn(), id, type); }), errors::kDuplicateKey);
}

TEST_F(NodeQueriesTest, GetSubSysNameIsTheSimplifiedChineseNameInAnyLanguage) {
  int32_t id = 10010101;
  EXPECT_EQ(info_.GetSubSysName(Dsn(5, "en"), id), "总账");
  id = 99000101;
  EXPECT_EQ(info_.GetSubSysName(Dsn(5, "en"), id), "");
}

// ---- Children ----

TEST_F(NodeQueriesTest, IsHasChildAsksOnlyTheTemplate) {
  struct Case {
    int32_t base, id;
    bool expected;
  };
  for (const Case& c : {Case{1000, 1, true}, Case{1000, 2, false},  // 2's child exists only in an overlay
                        Case{100000, 1001, true}, Case{100000, 5, false}, Case{10000000, 100101, true},
                        Case{10000000, 100102, false}, Case{1000000000, 10010101, false}}) {
    SCOPED_TRACE(std::to_string(c.base) + "/" + std::to_string(c.id));
    int32_t base = c.base, id = c.id;
    EXPECT_EQ(info_.IsHasChild(Dsn(5), base, id), c.expected);
  }
  int32_t base = 5, id = 1;
  EXPECT_EQ(ErrorNumberOf([&] { info_.IsHasChild(Dsn(5), base, id); }), errors::kInvalidCall);
}

// ---- Numbering ----

TEST_F(NodeQueriesTest, GetNextIndexIsPastTheTemplateAndEveryOverlay) {
  Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FIndex) VALUES (3001, 3, 5), (4001, 4, 9)");
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FIndex) VALUES (3001, 8, 3, 7), "
       "(4001, 0, 4, 3)");
  struct Case {
    std::string name;
    int32_t type, id, expected;
  };
  const Case cases[] = {
      {"no children anywhere", 2, 77, 0},
      {"template 5, another user's 7", 2, 3, 8},
      {"template 9, default 3", 2, 4, 10},
      {"top classes: template 20, no overlay", 1, 0, 21},
      {"sub-functions: template 5, no overlay", 3, 1001, 6},
      {"details: past the running number 12 of the template IDs", 4, 100101, 13},
      {"details: running number below the index", 4, 100201, 10},
      {"type code 0", 0, 1, 0},
      {"type code 5", 5, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t type = c.type, id = c.id;
    EXPECT_EQ(info_.GetNextIndex(Dsn(5), type, id), c.expected);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(id, c.id);
  }
}

TEST_F(NodeQueriesTest, GetNextIndexTakesTheIdTimesAHundredIn64Bits) {
  // 30000000 x 100 does not fit in 32 bits; the template's index still counts.
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex) VALUES (30000001, 30000000, 4)");
  int32_t type = 4, id = 30000000;
  EXPECT_EQ(info_.GetNextIndex(Dsn(5), type, id), 5);
  // A running number past 32 bits cannot be an index: the answer is 0.
  id = -30000000;
  EXPECT_EQ(info_.GetNextIndex(Dsn(5), type, id), 0);
}

TEST_F(NodeQueriesTest, GetNextIndexAndGetNextIDAnswerZeroOnAnyFailure) {
  int32_t type = 2, id = 1;
  EXPECT_EQ(info_.GetNextIndex(BadDsn(), type, id), 0);
  EXPECT_EQ(info_.GetNextID(BadDsn(), type, id), 0);
  Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FIndex) VALUES (3, ?)",
       {Variant(std::numeric_limits<int32_t>::max())});
  type = 1;
  EXPECT_EQ(info_.GetNextIndex(Dsn(5), type, id), 0);  // the maximum plus 1 overflows
}

TEST_F(NodeQueriesTest, GetNextIDStartsAtTheLevelBase) {
  struct Case {
    std::string name;
    int32_t type, expected;
  };
  auto check = [&](const Case& c) {
    SCOPED_TRACE(c.name);
    int32_t type = c.type, unused = -1;
    EXPECT_EQ(info_.GetNextID(Dsn(5), type, unused), c.expected);
  };
  check({"top classes, none", 1, 1000});
  check({"detail functions, only template-sized IDs", 4, 1000000000});
  check({"sub-functions, none", 3, 10000000});
  check({"subsystems: user 6 has the base itself", 2, 100001});
  check({"type code 5", 5, 0});
  Exec("DELETE FROM t_UserSubSystem");
  check({"subsystems, empty table", 2, 100000});
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID) VALUES (512, 3)");
  check({"subsystems, greatest below the base", 2, 100000});
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID) VALUES (100007, 0)");
  check({"subsystems, base plus 7 of the default", 2, 100008});
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID) VALUES (?, 3)",
       {Variant(std::numeric_limits<int32_t>::max())});
  check({"subsystems, no ID left", 2, 0});
}

// ---- Reload flag ----

TEST_F(NodeQueriesTest, IsReFreshBaseDataReadsAndClearsTheFlag) {
  EXPECT_TRUE(info_.IsReFreshBaseData(Dsn(5), 1001));
  EXPECT_EQ(CLng(Scalar("SELECT FUpdateBaseData FROM t_DataFlowSubSystem WHERE FSubSysID = 1001")), 0);
  EXPECT_FALSE(info_.IsReFreshBaseData(Dsn(5), 1001));
  EXPECT_FALSE(info_.IsReFreshBaseData(Dsn(5), 1002));
  // Unknown subsystems and failures answer True and change nothing.
  EXPECT_TRUE(info_.IsReFreshBaseData(Dsn(5), 4242));
  EXPECT_TRUE(info_.IsReFreshBaseData(BadDsn(), 1002));
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FUpdateBaseData <> 0")), 0);
}

// ---- From the cached levels ----

TEST_F(NodeQueriesTest, GetProfileValueReadsTheCallersOwnValues) {
  std::shared_ptr<Dictionary> dict = Dictionary::Create();
  EXPECT_EQ(info_.GetProfileValue(Dsn(5), "ExpandLevel", dict), "2");
  EXPECT_EQ(info_.GetProfileValue(Dsn(5), "expandlevel", dict), "2");
  EXPECT_EQ(info_.GetProfileValue(Dsn(6), "ExpandLevel", dict), "9");
  EXPECT_EQ(info_.GetProfileValue(Dsn(5), "Empty", dict), "");
  EXPECT_EQ(info_.GetProfileValue(Dsn(7), "ExpandLevel", dict), "");
  ASSERT_NE(dict, nullptr);
  EXPECT_TRUE(dict->Exists("TimeStamp"));
  EXPECT_TRUE(dict->Exists("UserTimeStamp"));
  EXPECT_EQ(CLng(dict->Item("UserID")), 7);
  std::shared_ptr<Dictionary> untouched = Dictionary::Create();
  std::shared_ptr<Dictionary> given = untouched;
  EXPECT_EQ(info_.GetProfileValue(BadDsn(), "ExpandLevel", given), "");
  EXPECT_EQ(given, untouched);
}

TEST_F(NodeQueriesTest, IsRefreshNodeReadsTheTemplateRowOfTheNode) {
  struct Case {
    int32_t id, type;
    bool expected;
  };
  for (const Case& c : {Case{1001, 2, true}, Case{1002, 2, false}, Case{4242, 2, false}, Case{100101, 3, true},
                        Case{100201, 3, false}, Case{1001, 3, false}}) {
    SCOPED_TRACE(std::to_string(c.id) + "/" + std::to_string(c.type));
    int32_t id = c.id, type = c.type;
    EXPECT_EQ(info_.IsRefreshNode(Dsn(5), id, type), c.expected);
  }
  int32_t id = 1001, type = 4;
  EXPECT_EQ(ErrorNumberOf([&] { info_.IsRefreshNode(Dsn(5), id, type); }), errors::kInvalidCall);
}

TEST_F(NodeQueriesTest, GetSubSystemInfoHandsBackTheTemplateRow) {
  std::shared_ptr<Dictionary> dict;
  int32_t id = 1001;
  EXPECT_TRUE(info_.GetSubSystemInfo(Dsn(5, "en"), id, dict));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(CLng(dict->Item("FSubSysID")), 1001);
  EXPECT_EQ(CStr(dict->Item("FName")), "Ledger");
  EXPECT_EQ(CStr(dict->Item("FClassName")), "K3GL.Refresh");
  EXPECT_FALSE(dict->Exists("UserTimeStamp"));

  id = 4242;
  EXPECT_FALSE(info_.GetSubSystemInfo(Dsn(5), id, dict));
  EXPECT_TRUE(dict->Exists("UserTimeStamp"));
  EXPECT_FALSE(dict->Exists("FSubSysID"));
}

TEST_F(NodeQueriesTest, IsSetEnableReadsTheTemplateSubFunction) {
  std::shared_ptr<Dictionary> dict;
  int32_t id = 100101;
  EXPECT_TRUE(info_.IsSetEnable(Dsn(5), id, dict));
  EXPECT_EQ(CLng(dict->Item("FSubFuncID")), 100101);
  id = 100201;
  EXPECT_FALSE(info_.IsSetEnable(Dsn(5), id, dict));
  EXPECT_EQ(CLng(dict->Item("FSubFuncID")), 100201);
  id = 1001;
  EXPECT_FALSE(info_.IsSetEnable(Dsn(5), id, dict));
  EXPECT_TRUE(dict->Exists("TimeStamp"));
  EXPECT_FALSE(dict->Exists("FSubFuncID"));
}

TEST_F(NodeQueriesTest, GetAcctShowNameFindsTheTypeByNameNumberOrCode) {
  struct Case {
    std::string language, name, expected;
  };
  for (const Case& c : {Case{"chs", "企业会计准则", "准则"}, Case{"en", "enterprise STANDARDS", "Standards"},
                        Case{"en", "企业会计准则", ""},  // names are compared in the request language
                        Case{"chs", "01", "制度"}, Case{"en", "zz", "Standards"}, Case{"chs", "3", "准则"},
                        Case{"chs", "2", ""}, Case{"chs", "nothing", ""}}) {
    SCOPED_TRACE(c.language + " " + c.name);
    EXPECT_EQ(info_.GetAcctShowName(Dsn(5, c.language), c.name), c.expected);
  }
  EXPECT_EQ(ErrorNumberOf([&] { info_.GetAcctShowName(BadDsn(), "01"); }), errors::kDuplicateKey);
}

TEST_F(NodeQueriesTest, AnswersFollowTheWritesThatMoveTheStamps) {
  int32_t id = 1001, type = 2;
  std::shared_ptr<Dictionary> dict;
  EXPECT_TRUE(info_.GetSubSystemInfo(Dsn(5), id, dict));
  EXPECT_EQ(info_.GetAcctShowName(Dsn(5), "01"), "制度");
  DatasUpdate update(runtime_);
  update.UpdateSystemFuncName(Dsn(5), 1001, "新总账");
  update.UpdateAcctTypeName(Dsn(5), 1, "新制度");
  EXPECT_TRUE(info_.GetSubSystemInfo(Dsn(5), id, dict));
  EXPECT_EQ(CStr(dict->Item("FName")), "新总账");
  EXPECT_EQ(info_.GetAcctShowName(Dsn(5), "01"), "新制度");
  EXPECT_TRUE(info_.IsRefreshNode(Dsn(5), id, type));
}

}  // namespace
}  // namespace lxm
