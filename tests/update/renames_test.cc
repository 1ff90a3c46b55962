// The renames of template rows and UpdateDetailFunc.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "platform/com_error.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;

class RenamesTest : public test::UpdateTest {};

struct RenameCase {
  std::string name;
  std::function<void(DatasUpdate&, const std::string& dsn, int32_t id, const std::string& text)> call;
  int32_t id;
  std::string row;  // SELECT of the written column as v and the untouched ones as c, for ?
};

std::vector<RenameCase> RenameCases() {
  return {
      {"UpdateTopClassName",
       [](DatasUpdate& u, const std::string& dsn, int32_t id, const std::string& text) {
         u.UpdateTopClassName(dsn, id, text);
       },
       1, "SELECT FTopClassName AS v, FTopClassName_CHT||'|'||FTopClassName_EN AS c FROM t_DataFlowTopClass "
          "WHERE FTopClassID = ?"},
      {"UpdateSystemFuncName",
       [](DatasUpdate& u, const std::string& dsn, int32_t id, const std::string& text) {
         u.UpdateSystemFuncName(dsn, id, text);
       },
       1001, "SELECT FName AS v, FName_CHT||'|'||FName_EN||'|'||FHelpFileName AS c FROM t_DataFlowSubSystem "
             "WHERE FSubSysID = ?"},
      {"UpdateSystemHelpFile",
       [](DatasUpdate& u, const std::string& dsn, int32_t id, const std::string& text) {
         u.UpdateSystemHelpFile(dsn, id, text);
       },
       1001, "SELECT FHelpFileName AS v, FName||'|'||FName_CHT||'|'||FName_EN AS c FROM t_DataFlowSubSystem "
             "WHERE FSubSysID = ?"},
      {"UpdateSubSysFuncName",
       [](DatasUpdate& u, const std::string& dsn, int32_t id, const std::string& text) {
         u.UpdateSubSysFuncName(dsn, id, text);
       },
       100101, "SELECT FFuncName AS v, FFuncName_CHT||'|'||FFuncName_EN AS c FROM t_DataFlowSubFunc "
               "WHERE FSubFuncID = ?"},
      {"UpdateAcctTypeName",
       [](DatasUpdate& u, const std::string& dsn, int32_t id, const std::string& text) {
         u.UpdateAcctTypeName(dsn, id, text);
       },
       3, "SELECT FShowName AS v, FShowName_CHT||'|'||FShowName_EN||'|'||FName AS c FROM t_DataFlowAcctType "
          "WHERE FAcctType = ?"},
  };
}

TEST_F(RenamesTest, WriteTheBaseColumnWhateverTheLanguageAndMoveTheTemplateStamp) {
  const std::string name = "It's \"new\"";
  for (const RenameCase& c : RenameCases()) {
    SCOPED_TRACE(c.name);
    auto untouched = Row(c.row, {Variant(c.id)})["c"];
    int64_t user_rows = Count("SELECT COUNT(*) FROM t_UserSubSystem");
    auto before = Stamps();
    c.call(update_, Dsn(5, "en"), c.id, name);
    auto row = Row(c.row, {Variant(c.id)});
    EXPECT_EQ(row["v"], name);
    EXPECT_EQ(row["c"], untouched);
    EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem"), user_rows);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass"), 0);
  }
  // The overlay rows keep their own names.
  EXPECT_EQ(Row("SELECT FName FROM t_UserSubSystem WHERE FSubSysID = 1001 AND FUserID = 6")["FName"], "六的总账");
}

TEST_F(RenamesTest, AnIDThatMatchesNoRowStillMovesTheTemplateStamp) {
  for (const RenameCase& c : RenameCases()) {
    SCOPED_TRACE(c.name);
    auto before = Stamps();
    c.call(update_, Dsn(5), 987654, "nobody");
    EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
  }
}

TEST_F(RenamesTest, FailuresReachTheCallerWithNothingWritten) {
  // A descriptor that names a property twice does not parse.
  const std::string bad_dsn = Dsn(5) + ";UserID=6";
  for (const RenameCase& c : RenameCases()) {
    SCOPED_TRACE(c.name);
    auto before = Stamps();
    auto error = ErrorOf([&] { c.call(update_, bad_dsn, c.id, "x"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kDuplicateKey);
    EXPECT_EQ(error->source(), kRuntimeErrorSource);
    EXPECT_NE(Row(c.row, {Variant(c.id)})["v"], "x");
    EXPECT_TRUE(MovedSince(before).empty());
  }
  // A database that refuses the statement.
  AddFault("refuse", "BEFORE UPDATE ON t_DataFlowTopClass", "refused");
  auto before = Stamps();
  auto error = ErrorOf([&] { update_.UpdateTopClassName(Dsn(5), 1, "x"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDatabase);
  EXPECT_EQ(error->source(), BackendName());
  EXPECT_NE(error->description().find("refused"), std::string::npos);
  EXPECT_TRUE(MovedSince(before).empty());
}

TEST_F(RenamesTest, UpdateDetailFuncMarksAMatchingFunctionAsFavourite) {
  auto before = Stamps();
  // The name compares as the database does, letter case aside.
  update_.UpdateDetailFunc(Dsn(5, "en"), 10010101, "H'1", "Show 'me'", "录入");
  EXPECT_EQ(Row("SELECT FIsNormal, FHelpCode, FShowName, FShowName_EN FROM t_DataFlowDetailFunc "
                "WHERE FDetailFuncID = 10010101"),
            (std::map<std::string, std::string>{
                {"FIsNormal", "1"}, {"FHelpCode", "H'1"}, {"FShowName", "Show 'me'"}, {"FShowName_EN", "<null>"}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(RenamesTest, UpdateDetailFuncWithAnotherNameChangesNothingAndSucceeds) {
  auto before = Stamps();
  update_.UpdateDetailFunc(Dsn(5), 10010101, "X", "Y", "Entry");  // the English name is not FFuncName
  update_.UpdateDetailFunc(Dsn(5), 424242, "X", "Y", "录入");
  EXPECT_EQ(Row("SELECT FIsNormal, FHelpCode FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010101"),
            (std::map<std::string, std::string>{{"FIsNormal", "0"}, {"FHelpCode", "PZLR"}}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(RenamesTest, UpdateDetailFuncSwallowsFailuresAndLeavesNoChange) {
  // The stamp bump fails once the row has been marked: the mark is undone.
  AddFault("refuse_bump",
           "BEFORE UPDATE ON t_DataFlowTimeStamp "
           "WHEN (SELECT FIsNormal FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010101) = 1",
           "refused");
  auto before = Stamps();
  EXPECT_NO_THROW(update_.UpdateDetailFunc(Dsn(5), 10010101, "X", "Y", "录入"));
  EXPECT_EQ(Row("SELECT FIsNormal, FHelpCode FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010101"),
            (std::map<std::string, std::string>{{"FIsNormal", "0"}, {"FHelpCode", "PZLR"}}));
  EXPECT_TRUE(MovedSince(before).empty());
  // A descriptor that does not parse is swallowed as well.
  EXPECT_NO_THROW(update_.UpdateDetailFunc(Dsn(5) + ";LANGUAGE=en;language=cht", 10010101, "X", "Y", "录入"));
}

}  // namespace
}  // namespace lxm
