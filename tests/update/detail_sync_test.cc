// RefreshDetailFunc as callers and the database see it: template and
// overlay synchronisation, sub-function 600201, flags only, the position
// limit, repetition.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "test_support/error_matchers.h"
#include "update/detail_sync_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;
using Ids = std::vector<int32_t>;

class RefreshDetailFuncTest : public test::DetailSyncTest {
 protected:
  Ids TemplateIds(int32_t sub_func) {
    return IdList("SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID = ? ORDER BY FDetailFuncID",
                  {Variant(sub_func)});
  }
  Ids OwnIds(int32_t user, int32_t sub_func) {
    return IdList(
        "SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FUserID = ? AND FSubFuncID = ? "
        "ORDER BY FDetailFuncID",
        {Variant(user), Variant(sub_func)});
  }
  Ids Favourites(int32_t user) {
    return IdList("SELECT FDetailFuncID FROM t_NormalFunc WHERE FUserID = ? ORDER BY FDetailFuncID", {Variant(user)});
  }
  std::map<std::string, std::string> TemplateRow(int32_t id) {
    return Row("SELECT * FROM t_DataFlowDetailFunc WHERE FDetailFuncID = ?", {Variant(id)});
  }
  std::map<std::string, std::string> OwnRow(int32_t user, int32_t id) {
    return Row("SELECT * FROM t_UserDetailFunc WHERE FUserID = ? AND FDetailFuncID = ?", {Variant(user), Variant(id)});
  }
};

TEST_F(RefreshDetailFuncTest, TemplateSyncReplacesTheSubFunctionsTemplateRows) {
  auto before = Stamps();
  std::string overlay_before = Dump().substr(Dump().find("--\n"));
  update_.RefreshDetailFunc(Dsn(5), 100101,
                            List({Item({{"FFuncName", Variant("录入")},
                                        {"FFuncName_En", Variant("Entry")},
                                        {"FClassName", Variant("K3.Voucher")},
                                        {"FClassParam", Variant("new")},
                                        {"FHelpCode", Variant("PZLR")},
                                        {"FAcctType", Variant(",1,")},
                                        {"FFuncType", Variant("3")},
                                        {"FIsNormal", Variant(true)}}),
                                  // The caller's own row of that name does not lend its ID.
                                  Item({{"FFuncName", Variant("私有")}}),
                                  Item({{"FDetailFuncID", Variant(10010177)},
                                        {"FFuncName", Variant("指定")},
                                        {"FVisible", Variant(false)}})}));

  EXPECT_EQ(TemplateIds(100101), (Ids{10010101, 10010102, 10010177}));
  auto first = TemplateRow(10010101);
  EXPECT_EQ(first["FFuncName"], "录入");
  EXPECT_EQ(first["FFuncName_CHT"], "录入");  // defaults to FFuncName
  EXPECT_EQ(first["FFuncName_EN"], "Entry");
  EXPECT_EQ(first["FIndex"], "1");
  EXPECT_EQ(first["FFuncType"], "3");
  EXPECT_EQ(first["FIsNormal"], "1");
  EXPECT_EQ(first["FAcctType"], ",1,");
  // Keys left out take their defaults.
  auto named = TemplateRow(10010177);
  EXPECT_EQ(named["FIndex"], "3");
  EXPECT_EQ(named["FVisible"], "0");
  EXPECT_EQ(named["FClassName"], " ");
  EXPECT_EQ(named["FClassParam"], " ");
  EXPECT_EQ(named["FHelpCode"], " ");
  EXPECT_EQ(named["FAcctType"], " ");
  EXPECT_EQ(named["FIsNormal"], "0");
  EXPECT_EQ(named["FFuncType"], "0");
  EXPECT_EQ(named["FFuncName_EN"], "指定");
  // Overlay rows and favourites are as they were; no marks are left.
  EXPECT_EQ(Dump().substr(Dump().find("--\n")), overlay_before);
  EXPECT_EQ(Marks(), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(RefreshDetailFuncTest, OverlaySyncReplacesTheCallersRowsAndItsFavouritesFollow) {
  auto before = Stamps();
  update_.RefreshDetailFunc(Dsn(5, "en"), 100101,
                            List({Item({{"FFuncName", Variant("Entry")}}),  // the template's name in English
                                  Item({{"FFuncName", Variant("PRIVATE")}, {"FFuncName_CHT", Variant("私有")}}),
                                  Item({{"FFuncName", Variant("Brand new")}})}),
                            true, false);

  // The template's function keeps its ID; the one that matched only the
  // caller's old row 10010150 moves to its position's ID; the user-created
  // function stays.
  EXPECT_EQ(OwnIds(5, 100101), (Ids{10010101, 10010102, 10010103, 1000000001}));
  EXPECT_EQ(OwnRow(5, 10010101)["FFuncName"], "Entry");
  EXPECT_EQ(OwnRow(5, 10010102)["FFuncName_CHT"], "私有");
  EXPECT_EQ(OwnRow(5, 10010102)["FIndex"], "2");
  EXPECT_EQ(OwnRow(5, 1000000001)["FFuncName"], "自建");
  EXPECT_EQ(Favourites(5), (Ids{10010101, 10010102, 20000001, 1000000001}));
  // Other users and the template are untouched.
  EXPECT_EQ(OwnRow(7, 10010150)["FFuncName"], "七的私有");
  EXPECT_EQ(OwnIds(0, 100101), (Ids{10010199}));
  EXPECT_EQ(Favourites(6), (Ids{10010150, 60020109}));
  EXPECT_EQ(TemplateIds(100101), (Ids{10010101, 999999999}));
  EXPECT_EQ(Marks(), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
}

TEST_F(RefreshDetailFuncTest, TemplateSyncOf600201KeepsFoundFunctionsAndNumbersNewOnes) {
  // Above 60020198: neither replaced nor counted when numbering.
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FFuncName, FClassParam) VALUES "
       "(60020199, 600201, 'outside', '199')");
  auto before = Stamps();
  update_.RefreshDetailFunc(Dsn(5), 600201,
                            List({// Found by class parameter; above 3000 it takes the new names.
                                  Item({{"FClassParam", Variant("3001 ")},
                                        {"FFuncName", Variant("新单据")},
                                        {"FFuncName_CHT", Variant("新單據")},
                                        {"FFuncName_EN", Variant("New bill")}}),
                                  Item({{"FClassParam", Variant(12)}, {"FFuncName", Variant("not taken")}}),
                                  // Names its own (marked) ID: kept, never swept.
                                  Item({{"FDetailFuncID", Variant(60020150)}, {"FClassParam", Variant("50")}}),
                                  // Only in user 5's overlay: inserted into the template.
                                  Item({{"FClassParam", Variant("99")}, {"FFuncName", Variant("仅我")}}),
                                  Item({{"FClassParam", Variant("77")}, {"FFuncName", Variant("七十七")}})}));

  EXPECT_EQ(TemplateIds(600201), (Ids{60020101, 60020108, 60020109, 60020150, 60020151, 60020152, 60020199}));
  auto renamed = TemplateRow(60020108);
  EXPECT_EQ(renamed["FFuncName"], "新单据");
  EXPECT_EQ(renamed["FFuncName_EN"], "New bill");
  EXPECT_EQ(TemplateRow(60020109)["FFuncName"], "十二");
  EXPECT_EQ(TemplateRow(60020150)["FFuncName"], "五十");
  EXPECT_EQ(TemplateRow(60020151)["FFuncName"], "仅我");
  EXPECT_EQ(TemplateRow(60020151)["FIndex"], "11");
  EXPECT_EQ(TemplateRow(60020152)["FClassParam"], "77");
  EXPECT_EQ(TemplateRow(60020152)["FIndex"], "12");
  // Every user's own rows of 600201 are gone, and those users' stamps moved.
  EXPECT_TRUE(OwnIds(5, 600201).empty());
  EXPECT_TRUE(OwnIds(6, 600201).empty());
  EXPECT_EQ(Favourites(6), (Ids{10010150, 60020109}));
  EXPECT_EQ(Marks(), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow", "DataFlow5", "DataFlow6"}));
}

TEST_F(RefreshDetailFuncTest, OverlaySyncOf600201ReplacesOnlyTheCallersRows) {
  Exec(
      "INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FFuncName, FClassParam) "
      "VALUES (60020160, 7, 600201, 'seven', '60')");
  auto before = Stamps();
  // Class parameters match with trailing blanks aside.
  update_.RefreshDetailFunc(Dsn(6), 600201,
                            List({Item({{"FClassParam", Variant("12")}, {"FFuncName", Variant("mine")}}),
                                  Item({{"FClassParam", Variant("60 ")}, {"FFuncName", Variant("Sixty again")}}),
                                  Item({{"FClassParam", Variant("88")}, {"FFuncName", Variant("Eighty-eight")}})}),
                            true, false);
  EXPECT_EQ(OwnIds(6, 600201), (Ids{60020109, 60020151, 60020160}));
  // The template's names win for a class parameter the template has.
  EXPECT_EQ(OwnRow(6, 60020109)["FFuncName"], "十二");
  EXPECT_EQ(OwnRow(6, 60020109)["FIndex"], "8");
  EXPECT_EQ(OwnRow(6, 60020160)["FFuncName"], "Sixty again");
  EXPECT_EQ(OwnRow(6, 60020151)["FIndex"], "10");
  EXPECT_EQ(OwnRow(7, 60020160)["FFuncName"], "seven");
  EXPECT_EQ(OwnIds(5, 600201), (Ids{60020170}));
  EXPECT_EQ(TemplateIds(600201), (Ids{60020101, 60020108, 60020109, 60020150}));
  EXPECT_EQ(Marks(), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow6"}));
}

TEST_F(RefreshDetailFuncTest, ANewIDPast60020198FailsInsteadOfReplacingAnotherRow) {
  Exec(
      "INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FFuncName, FClassParam) VALUES "
      "(60020198, 600201, 'last', '98'), (60020199, 600202, 'unrelated', 'x')");
  const std::string dump = Dump();
  auto error = ErrorOf([&] {
    update_.RefreshDetailFunc(Dsn(5), 600201, List({Item({{"FClassParam", Variant("500")}})}));
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), 11);
  EXPECT_EQ(error->source(), "LXMDataFlow.DatasUpdate.RefreshDetailFunc");
  EXPECT_NE(error->description().find("60020198"), std::string::npos) << error->description();
  EXPECT_EQ(Dump(), dump);
  EXPECT_EQ(TemplateRow(60020199)["FFuncName"], "unrelated");
}

TEST_F(RefreshDetailFuncTest, FlagsOnlySwitchesTemplateFlagsAndMovesTheTemplateStamp) {
  auto before = Stamps();
  // Overlay mode all the same writes the template.
  update_.RefreshDetailFunc(Dsn(5), 100101,
                            List({Item({{"FDetailFuncID", Variant(10010101)}, {"FVisible", Variant(false)}}),
                                  Item({{"FDetailFuncID", Variant("999999999")}, {"FEnable", Variant("False")}})}),
                            false, false);
  EXPECT_EQ(TemplateRow(10010101)["FVisible"], "0");
  EXPECT_EQ(TemplateRow(10010101)["FEnable"], "1");
  EXPECT_EQ(TemplateRow(999999999)["FVisible"], "1");
  EXPECT_EQ(TemplateRow(999999999)["FEnable"], "0");
  EXPECT_EQ(Row("SELECT FacctType FROM t_base_FlowChartTree")["FacctType"], ",0,");
  EXPECT_EQ(OwnIds(5, 100101), (Ids{10010101, 10010150, 1000000001}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow", "DataFlow5"}));

  before = Stamps();
  update_.RefreshDetailFunc(
      Dsn(5), 100101,
      List({Item({{"FDetailFuncID", Variant(10010101)}, {"FVisible", Variant(true)}, {"FEnable", Variant(0)}})}), false,
      true);
  EXPECT_EQ(TemplateRow(10010101)["FVisible"], "1");
  EXPECT_EQ(TemplateRow(10010101)["FEnable"], "0");
  EXPECT_EQ(Row("SELECT FacctType FROM t_base_FlowChartTree")["FacctType"], ",1,");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(RefreshDetailFuncTest, TakesTheFirst99ItemsOrThe92From8Under600201) {
  struct Case {
    int32_t sub_func;
    int32_t first_index;
    int32_t taken;
  };
  for (const Case& c : {Case{100101, 1, 99}, Case{600201, 8, 92}}) {
    SCOPED_TRACE(c.sub_func);
    std::shared_ptr<Vector> list = Vector::Create();
    for (int32_t i = 1; i <= 120; ++i) {
      // Under 600201 each item names an ID of its own.
      list->Append(Item({{"FFuncName", Variant("F" + std::to_string(i))},
                         {"FDetailFuncID", Variant(c.sub_func == 600201 ? 70000000 + i : 0)},
                         {"FClassParam", Variant(std::to_string(1000 + i))}}));
    }
    update_.RefreshDetailFunc(Dsn(5), c.sub_func, list);
    auto stats =
        Row("SELECT COUNT(*) AS n, MIN(FIndex) AS lo, MAX(FIndex) AS hi "
            "FROM t_DataFlowDetailFunc WHERE FSubFuncID = ? AND FFuncName LIKE 'F%'",
            {Variant(c.sub_func)});
    EXPECT_EQ(stats["n"], std::to_string(c.taken));
    EXPECT_EQ(stats["lo"], std::to_string(c.first_index));
    EXPECT_EQ(stats["hi"], "99");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = ? AND FFuncName = ?",
                    {Variant(c.sub_func), Variant("F" + std::to_string(c.taken))}),
              1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = ? AND FFuncName = ?",
                    {Variant(c.sub_func), Variant("F" + std::to_string(c.taken + 1))}),
              0);
  }
  EXPECT_EQ(TemplateIds(100101).back(), 10010199);
}

TEST_F(RefreshDetailFuncTest, TheSameListTwiceGivesTheSameRowsAndIds) {
  struct Case {
    const char* name;
    int32_t sub_func;
    bool template_mode;
  };
  std::shared_ptr<Vector> list = List({Item({{"FFuncName", Variant("录入")}, {"FClassParam", Variant("3001")}}),
                                       Item({{"FFuncName", Variant("私有")}, {"FClassParam", Variant("60")}}),
                                       Item({{"FFuncName", Variant("新")}, {"FClassParam", Variant("88")}})});
  for (const Case& c : {Case{"template", 100101, true}, Case{"overlay", 100101, false},
                        Case{"template 600201", 600201, true}, Case{"overlay 600201", 600201, false}}) {
    SCOPED_TRACE(c.name);
    update_.RefreshDetailFunc(Dsn(6), c.sub_func, list, true, c.template_mode);
    const std::string once = Dump();
    update_.RefreshDetailFunc(Dsn(6), c.sub_func, list, true, c.template_mode);
    EXPECT_EQ(Dump(), once);
    EXPECT_EQ(Marks(), 0);
  }
}

}  // namespace
}  // namespace lxm
