// UpdateTopClass, UpdateSystemFunc, UpdateSubSysFunc, UpdateDetailFuncAttr:
// the rows they leave and the stamps they move.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/com_error.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;

class NodeAttributesTest : public test::UpdateTest {
 protected:
  std::map<std::string, std::string> UserSubSystem(int32_t id, int32_t user) {
    return Row("SELECT FTopClassID, FName, FName_CHT, FName_EN, FIndex, FVisible, FAcctType FROM t_UserSubSystem "
               "WHERE FSubSysID = ? AND FUserID = ?",
               {Variant(id), Variant(user)});
  }
};

TEST_F(NodeAttributesTest, OverlayEditCopiesTheTemplateRowAndRenamesOnlyTheCallersLanguage) {
  struct Case {
    std::string language;
    std::string chs, cht, en;
  };
  for (const Case& c : {Case{"chs", "新", "總賬", "Ledger"}, Case{"cht", "总账", "新", "Ledger"},
                        Case{"en", "总账", "總賬", "新"}}) {
    SCOPED_TRACE(c.language);
    Exec("DELETE FROM t_UserSubSystem WHERE FUserID = 5");
    auto before = Stamps();
    update_.UpdateSystemFunc(Dsn(5, c.language), 1001,
                             Values({{"Visible", Variant(false)}, {"NewName", Variant("新")}, {"Index", Variant(7)},
                                     {"FShowSysType", Variant(3)}}));
    auto row = UserSubSystem(1001, 5);
    ASSERT_FALSE(row.empty());
    EXPECT_EQ(row["FName"], c.chs);
    EXPECT_EQ(row["FName_CHT"], c.cht);
    EXPECT_EQ(row["FName_EN"], c.en);
    EXPECT_EQ(row["FIndex"], "7");
    EXPECT_EQ(row["FVisible"], "0");
    EXPECT_EQ(row["FTopClassID"], "1");   // copied from the template row
    EXPECT_EQ(row["FAcctType"], "");      // not part of the copy
    EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
    // The template and the other users' rows are untouched.
    EXPECT_EQ(Row("SELECT FName, FShowSysType FROM t_DataFlowSubSystem WHERE FSubSysID = 1001")["FName"], "总账");
    EXPECT_EQ(UserSubSystem(1001, 6)["FName"], "六的总账");
    EXPECT_EQ(UserSubSystem(1001, 0)["FName"], "默认总账");
  }
}

TEST_F(NodeAttributesTest, OverlayEditOfANodeOnlyTheDefaultHasCopiesTheDefaultRow) {
  update_.UpdateSystemFunc(Dsn(5, "en"), 2001, Values({{"NewName", Variant("Mine")}, {"Index", Variant(3)}}));
  auto row = UserSubSystem(2001, 5);
  ASSERT_FALSE(row.empty());
  EXPECT_EQ(row["FTopClassID"], "2");
  EXPECT_EQ(row["FName"], "默认采购");
  EXPECT_EQ(row["FName_CHT"], "默認採購");
  EXPECT_EQ(row["FName_EN"], "Mine");
  EXPECT_EQ(row["FIndex"], "3");
}

TEST_F(NodeAttributesTest, UserCreatedNodesGetTheNameInAllThreeLanguages) {
  update_.UpdateSystemFunc(Dsn(5, "en"), 100005, Values({{"NewName", Variant("Reports")}}));
  auto row = UserSubSystem(100005, 5);
  EXPECT_EQ(row["FName"], "Reports");
  EXPECT_EQ(row["FName_CHT"], "Reports");
  EXPECT_EQ(row["FName_EN"], "Reports");
  EXPECT_EQ(row["FTopClassID"], "1");
}

TEST_F(NodeAttributesTest, UnknownNodesChangeNothingAndTheCallSucceeds) {
  int64_t user_rows = Count("SELECT COUNT(*) FROM t_UserSubSystem");
  auto before = Stamps();
  update_.UpdateSystemFunc(Dsn(5), 4242, Values({{"NewName", Variant("x")}}));
  update_.UpdateTopClass(Dsn(5), 77, Values({{"NewName", Variant("x")}}));
  update_.UpdateSubSysFunc(Dsn(5), 777, Values({{"NewName", Variant("x")}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem"), user_rows);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubFunc"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));

  before = Stamps();
  update_.UpdateSystemFunc(Dsn(5), 4242, Values({{"NewName", Variant("x")}}), true);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FName = 'x'"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(NodeAttributesTest, TemplateEditsWriteAllThreeNamesAndTheShowSysType) {
  auto before = Stamps();
  auto values = Values({{"Visible", Variant(false)}, {"NewName", Variant("T")}, {"Index", Variant(5)},
                        {"FShowSysType", Variant(2)}});
  update_.UpdateTopClass(Dsn(5, "en"), 1, values, true);
  update_.UpdateSystemFunc(Dsn(5, "cht"), 1001, values, true);
  update_.UpdateSubSysFunc(Dsn(5, "en"), 100101, values, true);
  EXPECT_EQ(Row("SELECT FTopClassName||FTopClassName_CHT||FTopClassName_EN AS n, FIndex, FVisible, FShowSysType "
                "FROM t_DataFlowTopClass WHERE FTopClassID = 1"),
            (std::map<std::string, std::string>{{"n", "TTT"}, {"FIndex", "5"}, {"FVisible", "0"},
                                                {"FShowSysType", "2"}}));
  EXPECT_EQ(Row("SELECT FName||FName_CHT||FName_EN AS n, FIndex, FVisible, FShowSysType "
                "FROM t_DataFlowSubSystem WHERE FSubSysID = 1001"),
            (std::map<std::string, std::string>{{"n", "TTT"}, {"FIndex", "5"}, {"FVisible", "0"},
                                                {"FShowSysType", "2"}}));
  EXPECT_EQ(Row("SELECT FFuncName||FFuncName_CHT||FFuncName_EN AS n, FIndex, FVisible FROM t_DataFlowSubFunc "
                "WHERE FSubFuncID = 100101"),
            (std::map<std::string, std::string>{{"n", "TTT"}, {"FIndex", "5"}, {"FVisible", "0"}}));
  // Template edits create no overlay rows and move only the template stamp.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(NodeAttributesTest, OverlayEditsNeverWriteTheShowSysType) {
  update_.UpdateTopClass(Dsn(5), 1, Values({{"NewName", Variant("我的财务")}, {"FShowSysType", Variant(9)}}));
  EXPECT_EQ(Row("SELECT FTopClassName, FTopClassName_EN, FIndex FROM t_UserTopClass WHERE FUserID = 5"),
            (std::map<std::string, std::string>{
                {"FTopClassName", "我的财务"}, {"FTopClassName_EN", "Finance"}, {"FIndex", "0"}}));
  EXPECT_EQ(Row("SELECT FShowSysType FROM t_DataFlowTopClass WHERE FTopClassID = 1")["FShowSysType"], "0");
}

TEST_F(NodeAttributesTest, MissingKeysAreWrittenWithTheirDefaults) {
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FName, FName_CHT, FName_EN, FIndex, FVisible) "
       "VALUES (1001, 5, 'a', 'b', 'c', 30, 0)");
  update_.UpdateSystemFunc(Dsn(5), 1001, Values({}));
  auto row = UserSubSystem(1001, 5);
  EXPECT_EQ(row["FName"], "");      // "NewName" blanks the column
  EXPECT_EQ(row["FName_CHT"], "b");
  EXPECT_EQ(row["FVisible"], "1");  // "Visible" shows the node
  EXPECT_EQ(row["FIndex"], "0");    // "Index" moves it to 0
}

TEST_F(NodeAttributesTest, TextIsStoredExactlyAsGiven) {
  const std::string quoted = "O'Brien's \"ledger\"; DROP TABLE t_UserSubSystem; --";
  update_.UpdateSystemFunc(Dsn(5, "en"), 1001, Values({{"NewName", Variant(quoted)}}));
  EXPECT_EQ(UserSubSystem(1001, 5)["FName_EN"], quoted);
  update_.UpdateSubSysFunc(Dsn(5), 100101, Values({{"NewName", Variant("'")}}), true);
  EXPECT_EQ(Row("SELECT FFuncName_CHT FROM t_DataFlowSubFunc WHERE FSubFuncID = 100101")["FFuncName_CHT"], "'");
}

TEST_F(NodeAttributesTest, AVeryLongNameIsStoredWholeOrRefusedWithNothingWritten) {
  const std::string long_name(20000, 'n');
  auto before = Stamps();
  auto error = ErrorOf([&] { update_.UpdateSystemFunc(Dsn(5), 1001, Values({{"NewName", Variant(long_name)}})); });
  if (error) {
    EXPECT_EQ(error->number(), errors::kDatabase);
    EXPECT_TRUE(UserSubSystem(1001, 5).empty());
    EXPECT_TRUE(MovedSince(before).empty());
  } else {
    EXPECT_EQ(UserSubSystem(1001, 5)["FName"], long_name);
  }
}

TEST_F(NodeAttributesTest, ValuesThatDoNotConvertFailThroughTheStandardPath) {
  struct Case {
    std::string name;
    std::shared_ptr<Dictionary> dict;
    int32_t number;
  };
  const Case cases[] = {
      {"Index not a number", Values({{"Index", Variant("ten")}}), errors::kTypeMismatch},
      {"Index beyond 32 bits", Values({{"Index", Variant(3e9)}}), errors::kOverflow},
      {"FShowSysType not a number, read in overlay mode too", Values({{"FShowSysType", Variant("x")}}),
       errors::kTypeMismatch},
      {"Visible not a Boolean", Values({{"Visible", Variant("maybe")}}), errors::kTypeMismatch},
      {"NewName Null", Values({{"NewName", Variant::Null()}}), errors::kInvalidUseOfNull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto before = Stamps();
    auto error = ErrorOf([&] { update_.UpdateSystemFunc(Dsn(5), 1001, c.dict); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), c.number);
    EXPECT_EQ(error->source(), kRuntimeErrorSource);
    EXPECT_EQ(error->description(), RuntimeError(c.number).description());
    EXPECT_TRUE(UserSubSystem(1001, 5).empty());
    EXPECT_TRUE(MovedSince(before).empty());
  }
  EXPECT_EQ(ErrorOf([&] { update_.UpdateSystemFunc(Dsn(5), 1001, nullptr); })->number(), errors::kInvalidCall);
}

TEST_F(NodeAttributesTest, TemplateUserIDChoosesTheTargetAndMovesItsStampToo) {
  // Another user: that user's row changes; the caller's and the target's
  // stamps move.
  auto before = Stamps();
  update_.UpdateSystemFunc(Dsn(5, "en"), 1001, Values({{"NewName", Variant("For seven")}}), false,
                           Values({{"TemplateUserID", Variant("7")}}));
  EXPECT_EQ(UserSubSystem(1001, 7)["FName_EN"], "For seven");
  EXPECT_TRUE(UserSubSystem(1001, 5).empty());
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5", "DataFlow7"}));

  // "0": the shared default rows.
  before = Stamps();
  update_.UpdateSystemFunc(Dsn(5, "en"), 1001, Values({{"NewName", Variant("Everyone")}}), false,
                           Values({{"TemplateUserID", Variant(0)}}));
  EXPECT_EQ(UserSubSystem(1001, 0)["FName_EN"], "Everyone");
  EXPECT_EQ(UserSubSystem(1001, 0)["FAcctType"], ",9,");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5", "DataFlow0"}));

  // The caller itself, or an empty value: only the caller's stamp.
  for (const Variant& value : {Variant("5"), Variant(""), Variant::Null()}) {
    before = Stamps();
    update_.UpdateSystemFunc(Dsn(5, "en"), 1001, Values({{"NewName", Variant("Mine")}}), false,
                             Values({{"TemplateUserID", value}}));
    EXPECT_EQ(UserSubSystem(1001, 5)["FName_EN"], "Mine");
    EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
  }

  // In template mode the target does not matter: only the template stamp.
  before = Stamps();
  update_.UpdateSystemFunc(Dsn(5), 1001, Values({{"NewName", Variant("T")}}), true,
                           Values({{"TemplateUserID", Variant("7")}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(NodeAttributesTest, TemplateUserIDThatIsNotANumberFailsWithTypeMismatch) {
  auto before = Stamps();
  for (const char* text : {"seven", "7x", "0x07"}) {
    SCOPED_TRACE(text);
    auto error = ErrorOf([&] {
      update_.UpdateSystemFunc(Dsn(5), 1001, Values({{"NewName", Variant("x")}}), false,
                               Values({{"TemplateUserID", Variant(text)}}));
    });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kTypeMismatch);
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FName = 'x' OR FName_EN = 'x'"), 0);
  EXPECT_TRUE(MovedSince(before).empty());
  // The target user matters in overlay mode only: a template edit ignores it.
  update_.UpdateSystemFunc(Dsn(5), 1001, Values({{"NewName", Variant("t")}, {"Visible", Variant::Null()}}),
                           true, Values({{"TemplateUserID", Variant("seven")}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FSubSysID = 1001 AND FName = 't' "
                  "AND FVisible = 0"),
            1);
}

TEST_F(NodeAttributesTest, StampRowsAreNeverCreated) {
  update_.UpdateSystemFunc(Dsn(8), 1001, Values({{"NewName", Variant("eight")}}));
  update_.UpdateSystemFunc(Dsn(5), 1001, Values({{"NewName", Variant("x")}}), false,
                           Values({{"TemplateUserID", Variant(9)}}));
  EXPECT_EQ(UserSubSystem(1001, 8)["FName"], "eight");
  EXPECT_EQ(StampVersion("DataFlow8"), -1);
  EXPECT_EQ(StampVersion("DataFlow9"), -1);
}

// ---- UpdateDetailFuncAttr ----

class DetailFuncAttrTest : public test::UpdateTest {
 protected:
  std::map<std::string, std::string> TemplateDetail(int32_t id) {
    return Row("SELECT FFuncName, FFuncName_CHT, FFuncName_EN, FHelpCode, FVisible, FIndex, FEnable, FClassName, "
               "FClassParam, FFuncType FROM t_DataFlowDetailFunc WHERE FDetailFuncID = ?",
               {Variant(id)});
  }
  std::map<std::string, std::string> UserDetail(int32_t id, int32_t user) {
    return Row("SELECT FSubFuncID, FFuncName, FFuncName_CHT, FFuncName_EN, FHelpCode, FVisible, FIndex, FEnable, "
               "FClassName, FClassParam FROM t_UserDetailFunc WHERE FDetailFuncID = ? AND FUserID = ?",
               {Variant(id), Variant(user)});
  }
};

TEST_F(DetailFuncAttrTest, TemplateModeChangesOnlyTheCallersNameBelowTheFirstUserID) {
  auto before = Stamps();
  update_.UpdateDetailFuncAttr(Dsn(5, "en"), 10010101,
                               Values({{"NewName", Variant("Enter")}, {"HelpCode", Variant("HC")},
                                       {"Enable", Variant(false)}, {"Visible", Variant(false)},
                                       {"Index", Variant(4)}, {"FuncType", Variant("ignored")}}),
                               true);
  EXPECT_EQ(TemplateDetail(10010101),
            (std::map<std::string, std::string>{{"FFuncName", "录入"}, {"FFuncName_CHT", "錄入"},
                                                {"FFuncName_EN", "Enter"}, {"FHelpCode", "HC"},
                                                {"FVisible", "0"}, {"FIndex", "4"}, {"FEnable", "0"},
                                                {"FClassName", "K3.Voucher"}, {"FClassParam", "new"},
                                                {"FFuncType", "16"}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FDetailFuncID = 10010101"), 0);
}

TEST_F(DetailFuncAttrTest, FuncTypeIsLeftAloneWithoutTheKey) {
  update_.UpdateDetailFuncAttr(Dsn(5), 10010101, Values({}), true);
  EXPECT_EQ(TemplateDetail(10010101)["FFuncType"], "3");
}

TEST_F(DetailFuncAttrTest, TemplateModeForAMissingDetailWritesNothingAndMovesNoStamp) {
  auto before = Stamps();
  update_.UpdateDetailFuncAttr(Dsn(5), 424242, Values({{"NewName", Variant("x")}}), true);
  EXPECT_TRUE(MovedSince(before).empty());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 424242"), 0);
}

TEST_F(DetailFuncAttrTest, OverlayModeCopiesTheTemplateRowAndNeverWritesFuncType) {
  auto before = Stamps();
  update_.UpdateDetailFuncAttr(Dsn(5, "cht"), 10010101,
                               Values({{"NewName", Variant("新")}, {"HelpCode", Variant("H")}, {"Index", Variant(2)},
                                       {"ClassName", Variant(" K3.Other ")}, {"FuncType", Variant(1)}}));
  EXPECT_EQ(UserDetail(10010101, 5),
            (std::map<std::string, std::string>{{"FSubFuncID", "100101"}, {"FFuncName", "录入"},
                                                {"FFuncName_CHT", "新"}, {"FFuncName_EN", "Entry"},
                                                {"FHelpCode", "H"}, {"FVisible", "1"}, {"FIndex", "2"},
                                                {"FEnable", "1"}, {"FClassName", " K3.Other "},
                                                {"FClassParam", "new"}}));
  EXPECT_EQ(TemplateDetail(10010101)["FFuncType"], "3");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
}

TEST_F(DetailFuncAttrTest, OverlayModeCopiesTheDefaultRowWhenTheTemplateLacksTheNode) {
  update_.UpdateDetailFuncAttr(Dsn(5, "en"), 10010199, Values({{"NewName", Variant("Mine")}}));
  auto row = UserDetail(10010199, 5);
  EXPECT_EQ(row["FFuncName"], "默认明细");
  EXPECT_EQ(row["FFuncName_EN"], "Mine");
  EXPECT_EQ(row["FClassName"], "K3.D");
}

TEST_F(DetailFuncAttrTest, TheFirstUserIDGetsAllThreeNames) {
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FFuncName) "
       "VALUES (1000000000, 5, 100101, 'old')");
  update_.UpdateDetailFuncAttr(Dsn(5, "en"), 1000000000, Values({{"NewName", Variant("N")}}));
  update_.UpdateDetailFuncAttr(Dsn(5, "en"), 999999999, Values({{"NewName", Variant("N")}}), true);
  auto user_row = UserDetail(1000000000, 5);
  EXPECT_EQ(user_row["FFuncName"] + user_row["FFuncName_CHT"] + user_row["FFuncName_EN"], "NNN");
  auto template_row = TemplateDetail(999999999);
  EXPECT_EQ(template_row["FFuncName"] + "|" + template_row["FFuncName_EN"], "最后|N");
}

TEST_F(DetailFuncAttrTest, BlankClassNameLeavesTheClassAlone) {
  for (const Variant& blank : {Variant(""), Variant("   ")}) {
    update_.UpdateDetailFuncAttr(Dsn(5), 10010101, Values({{"ClassName", blank}}), true);
    EXPECT_EQ(TemplateDetail(10010101)["FClassName"], "K3.Voucher");
  }
}

TEST_F(DetailFuncAttrTest, OverlayModeForADetailNoSourceHasFailsWithNothingWritten) {
  auto before = Stamps();
  auto error = ErrorOf([&] { update_.UpdateDetailFuncAttr(Dsn(5), 55555, Values({})); });
  ASSERT_TRUE(error.has_value());
  // What reading a field of an empty recordset raises.
  EXPECT_EQ(error->number(), errors::kNoCurrentRecord);
  EXPECT_EQ(error->source(), "ADODB.Field");
  EXPECT_EQ(error->description(),
            "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
            "requires a current record.");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FDetailFuncID = 55555"), 0);
  EXPECT_TRUE(MovedSince(before).empty());
}

TEST_F(DetailFuncAttrTest, TemplateUserIDNamesTheOverlayUser) {
  auto before = Stamps();
  update_.UpdateDetailFuncAttr(Dsn(5), 10010101, Values({{"HelpCode", Variant("SEVEN")}}), false,
                               Values({{"TemplateUserID", Variant("7")}}));
  EXPECT_EQ(UserDetail(10010101, 7)["FHelpCode"], "SEVEN");
  EXPECT_TRUE(UserDetail(10010101, 5).empty());
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5", "DataFlow7"}));
}

}  // namespace
}  // namespace lxm
