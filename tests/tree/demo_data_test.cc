// The demo account and the synthetic trees, checked through what the
// database holds after loading them.
#include "tree/demo_data.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"
#include "tree/schema.h"
#include "tree/synthetic_data.h"

namespace lxm {
namespace {

// One level of the tree: its tables, key, parent key and first user-created ID.
struct Level {
  const char* label;
  const char* template_table;
  const char* user_table;
  const char* key;
  const char* parent_key;  // nullptr for top classes
  const char* name_column;
  int32_t base;
};

constexpr Level kLevels[] = {
    {"top class", "t_DataFlowTopClass", "t_UserTopClass", "FTopClassID", nullptr, "FTopClassName",
     schema::kTopClassBase},
    {"subsystem", "t_DataFlowSubSystem", "t_UserSubSystem", "FSubSysID", "FTopClassID", "FName",
     schema::kSubSystemBase},
    {"sub-function", "t_DataFlowSubFunc", "t_UserSubFunc", "FSubFuncID", "FSubSysID", "FFuncName",
     schema::kSubFuncBase},
    {"detail function", "t_DataFlowDetailFunc", "t_UserDetailFunc", "FDetailFuncID", "FSubFuncID",
     "FFuncName", schema::kDetailFuncBase},
};

bool IsAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

class TreeDataTest : public test::AccountTest {
 protected:
  int32_t Count(const std::string& sql, const Params& params = {}) {
    return Scalar(sql, params).AsLong();
  }

  void Load(const std::function<void(Transaction&)>& loader) {
    RunInCallScope(runtime_, true,
                   [&] { loader(CallScope::Current()->TransactionFor(connect_string_)); });
  }

  // Every name of `table` has its simplified Chinese, traditional Chinese and
  // English form, and only the English one is plain ASCII.
  void ExpectThreeLanguages(const std::string& table, const std::string& column) {
    SCOPED_TRACE(table + "." + column);
    Recordset rs = Query("SELECT " + column + " AS chs, " + column + "_CHT AS cht, " + column +
                         "_EN AS en FROM " + table);
    ASSERT_GT(rs.RecordCount(), 0);
    for (; !rs.Eof(); rs.MoveNext()) {
      for (const char* field : {"chs", "cht", "en"}) {
        ASSERT_EQ(rs.Value(field).kind(), VariantKind::kString) << field;
        ASSERT_FALSE(rs.Value(field).AsString().empty()) << field;
      }
      const std::string& chs = rs.Value("chs").AsString();
      EXPECT_FALSE(IsAscii(chs)) << chs;
      EXPECT_FALSE(IsAscii(rs.Value("cht").AsString())) << chs;
      EXPECT_TRUE(IsAscii(rs.Value("en").AsString())) << chs << " / " << rs.Value("en").AsString();
    }
  }

  // Template IDs follow top*1000+n, parent*100+n; the personal desk's
  // subsystem 7 is the one exception.
  void ExpectIdScheme() {
    EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowTopClass WHERE FTopClassID NOT BETWEEN 1 "
                       "AND 99"));
    EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE NOT ((FSubSysID / 1000 = "
                       "FTopClassID AND FSubSysID % 1000 BETWEEN 1 AND 99) OR (FSubSysID = 7 AND "
                       "FTopClassID = 7))"));
    EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE NOT (FSubFuncID / 100 = "
                       "FSubSysID AND FSubFuncID % 100 BETWEEN 1 AND 99)"));
    EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE NOT (FDetailFuncID / 100 "
                       "= FSubFuncID AND FDetailFuncID % 100 BETWEEN 1 AND 99)"));
  }

  // Every overlay row is a template node or a node its own user created, and
  // hangs under a parent that exists for that user.
  void ExpectOverlayReferencesResolve() {
    for (size_t i = 0; i < std::size(kLevels); ++i) {
      const Level& level = kLevels[i];
      SCOPED_TRACE(level.label);
      const std::string key = level.key;
      EXPECT_EQ(0, Count("SELECT COUNT(*) FROM " + std::string(level.user_table) +
                             " u WHERE NOT EXISTS (SELECT 1 FROM " + level.template_table +
                             " t WHERE t." + key + " = u." + key + ") AND NOT (u." + key +
                             " >= ? AND u.FUserID <> 0)",
                         {level.base}));
      if (level.parent_key == nullptr) continue;
      const Level& parent = kLevels[i - 1];
      const std::string pkey = parent.key;
      EXPECT_EQ(0, Count("SELECT COUNT(*) FROM " + std::string(level.user_table) +
                             " u WHERE NOT EXISTS (SELECT 1 FROM " + parent.template_table +
                             " p WHERE p." + pkey + " = u." + level.parent_key +
                             ") AND NOT EXISTS (SELECT 1 FROM " + parent.user_table +
                             " p WHERE p." + pkey + " = u." + level.parent_key +
                             " AND p.FUserID = u.FUserID AND p." + pkey + " >= ?)",
                         {parent.base}));
      // A template node keeps its template parent in the overlay.
      EXPECT_EQ(0, Count("SELECT COUNT(*) FROM " + std::string(level.user_table) + " u JOIN " +
                         level.template_table + " t ON t." + key + " = u." + key + " WHERE t." +
                         level.parent_key + " <> u." + level.parent_key));
      EXPECT_EQ(0, Count("SELECT COUNT(*) FROM " + std::string(level.template_table) +
                         " c WHERE NOT EXISTS (SELECT 1 FROM " + parent.template_table +
                         " p WHERE p." + pkey + " = c." + level.parent_key + ")"));
    }
  }
};

class DemoDataTest : public TreeDataTest {
 protected:
  DemoDataTest() { demo_ = true; }
};

TEST_F(DemoDataTest, LevelsMeetTheMinimumCounts) {
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_DataFlowTopClass"), 6);
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem"), 20);
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc"), 100);
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc"), 500);
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_DataFlowAcctType"), 4);
  EXPECT_EQ(1, Count("SELECT COUNT(*) FROM t_DataFlowAcctType WHERE FForbidden = 1"));
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_SubSystem"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_base_FlowChartTree"), 0);
  // Stamps are created by the first read, not by the load.
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowTimeStamp"));
}

TEST_F(DemoDataTest, EveryNameHasThreeLanguages) {
  const std::pair<const char*, const char*> kNames[] = {
      {"t_DataFlowTopClass", "FTopClassName"}, {"t_DataFlowTopClass", "FToolTips"},
      {"t_DataFlowSubSystem", "FName"},        {"t_DataFlowSubSystem", "FNote"},
      {"t_DataFlowSubFunc", "FFuncName"},      {"t_DataFlowDetailFunc", "FFuncName"},
      {"t_DataFlowDetailFunc", "FShowName"},   {"t_DataFlowAcctType", "FName"},
      {"t_DataFlowAcctType", "FDesc"},         {"t_DataFlowAcctType", "FShowName"},
      {"t_UserTopClass", "FTopClassName"},     {"t_UserSubSystem", "FName"},
      {"t_UserSubFunc", "FFuncName"},          {"t_UserDetailFunc", "FFuncName"},
  };
  for (const auto& [table, column] : kNames) ExpectThreeLanguages(table, column);
}

TEST_F(DemoDataTest, IdsFollowTheSchemeAndReferencesResolve) {
  ExpectIdScheme();
  ExpectOverlayReferencesResolve();
  // Only users create nodes: the shared default never holds one.
  for (const Level& level : kLevels) {
    SCOPED_TRACE(level.label);
    EXPECT_EQ(0, Count("SELECT COUNT(*) FROM " + std::string(level.user_table) +
                           " WHERE FUserID = 0 AND " + level.key + " >= ?",
                       {level.base}));
  }
}

TEST_F(DemoDataTest, UserOverlayRenamesHidesReordersAndAdds) {
  for (const Level& level : kLevels) {
    SCOPED_TRACE(level.label);
    const std::string user = level.user_table;
    const std::string key = level.key;
    const std::string name = level.name_column;
    const Params me = {16394};
    EXPECT_GT(Count("SELECT COUNT(*) FROM " + user + " WHERE FUserID = ? AND FVisible = 0", me), 0);
    EXPECT_GT(Count("SELECT COUNT(*) FROM " + user + " WHERE FUserID = ? AND " + key + " >= ?",
                    {16394, level.base}),
              0);
    const std::string join = "SELECT COUNT(*) FROM " + user + " u JOIN " + level.template_table +
                             " t ON t." + key + " = u." + key + " WHERE u.FUserID = ? AND ";
    EXPECT_GT(Count(join + "u." + name + " <> t." + name + " AND u." + name + "_CHT <> t." + name +
                        "_CHT AND u." + name + "_EN <> t." + name + "_EN",
                    me),
              0);
    EXPECT_GT(Count(join + "u.FIndex <> t.FIndex", me), 0);
  }
  // The user's own function under a personal-desk sub-function.
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FUserID = 16394 AND FSubFuncID "
                  "BETWEEN 701 AND 799 AND FDetailFuncID >= ?",
                  {schema::kDetailFuncBase}),
            0);
  // A few more users with rows of their own, and per-user profile values.
  EXPECT_GE(Count("SELECT COUNT(DISTINCT FUserID) FROM (SELECT FUserID FROM t_UserTopClass UNION "
                  "ALL SELECT FUserID FROM t_UserSubSystem UNION ALL SELECT FUserID FROM "
                  "t_UserSubFunc UNION ALL SELECT FUserID FROM t_UserDetailFunc) AS u WHERE FUserID "
                  "NOT IN (0, 16394)"),
            3);
  EXPECT_GE(Count("SELECT COUNT(DISTINCT FUserID) FROM t_UserDataFlowProfile"), 2);
}

TEST_F(DemoDataTest, SharedDefaultsCoverTopClassesAndSubsystems) {
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowTopClass t WHERE NOT EXISTS (SELECT 1 FROM "
                     "t_UserTopClass u WHERE u.FTopClassID = t.FTopClassID AND u.FUserID = 0)"));
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowSubSystem t WHERE NOT EXISTS (SELECT 1 FROM "
                     "t_UserSubSystem u WHERE u.FSubSysID = t.FSubSysID AND u.FUserID = 0)"));
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_UserSubFunc WHERE FUserID = 0"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FUserID = 0"), 0);
  // Personal-desk functions are read from the overlay, so the default has them.
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc t WHERE FSubFuncID BETWEEN 701 "
                     "AND 799 AND NOT EXISTS (SELECT 1 FROM t_UserDetailFunc u WHERE "
                     "u.FDetailFuncID = t.FDetailFuncID AND u.FUserID = 0)"));
}

TEST_F(DemoDataTest, FavouritesReferenceRealFunctions) {
  EXPECT_EQ(1, Count("SELECT COUNT(*) FROM t_NormalFuncGroup WHERE FUserID = 16394 AND "
                     "FFuncGroupName = '常用功能组' AND FShowName = FFuncGroupName"));
  EXPECT_GE(Count("SELECT COUNT(*) FROM t_NormalFuncGroup WHERE FUserID = 16394"), 2);
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_NormalFunc f WHERE NOT EXISTS (SELECT 1 FROM "
                     "t_NormalFuncGroup g WHERE g.FFuncGroupID = f.FFuncGroupID AND g.FUserID = "
                     "f.FUserID)"));
  // Each item names a template function or its user's own one, by ID and help code.
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_NormalFunc f WHERE NOT EXISTS (SELECT 1 FROM "
                     "t_DataFlowDetailFunc d WHERE d.FDetailFuncID = f.FDetailFuncID AND "
                     "d.FHelpCode = f.FHelpCode) AND NOT EXISTS (SELECT 1 FROM t_UserDetailFunc "
                     "u WHERE u.FDetailFuncID = f.FDetailFuncID AND u.FUserID = f.FUserID AND "
                     "u.FDetailFuncID >= ? AND u.FHelpCode = f.FHelpCode)",
                     {schema::kDetailFuncBase}));
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = 16394 AND FDetailFuncID >= ?",
                  {schema::kDetailFuncBase}),
            0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_NormalFunc f JOIN t_DataFlowDetailFunc d ON "
                  "d.FDetailFuncID = f.FDetailFuncID WHERE f.FUserID = 16394 AND d.FSubFuncID "
                  "BETWEEN 701 AND 799"),
            0);
  // Template functions among the favourites carry the mark.
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_NormalFunc f JOIN t_DataFlowDetailFunc d ON "
                     "d.FDetailFuncID = f.FDetailFuncID WHERE d.FIsNormal <> 1"));
}

TEST_F(DemoDataTest, HoldsTheNodesOtherCodeRelyOn) {
  EXPECT_EQ(10, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = 600201 AND "
                      "FDetailFuncID BETWEEN 60020101 AND 60020110"));
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID BETWEEN 701 AND "
                  "799"),
            0);
  EXPECT_EQ("V12.01.SP3", Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory = 'Base' "
                                 "AND FKey = 'ServicePack'")
                              .AsString());
  // Characters 5 and 6 of the service pack name an existing account type.
  EXPECT_EQ(1, Count("SELECT COUNT(*) FROM t_DataFlowAcctType a JOIN t_SystemProfile p ON "
                     "p.FCategory = 'Base' AND p.FKey = 'ServicePack' AND a.FNumber = "
                     "substr(p.FValue, 5, 2)"));
  // Help codes identify one template function each.
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FHelpCode = ''"));
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM (SELECT FHelpCode FROM t_DataFlowDetailFunc GROUP BY "
                     "FHelpCode HAVING COUNT(*) > 1) AS d"));
  // Template rows that are hidden, and siblings that share an FIndex.
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FVisible = 0"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FVisible = 0"), 0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM (SELECT 1 FROM t_DataFlowTopClass GROUP BY FIndex HAVING "
                  "COUNT(*) > 1) AS d"),
            0);
  EXPECT_GT(Count("SELECT COUNT(*) FROM (SELECT 1 FROM t_DataFlowDetailFunc GROUP BY FSubFuncID, "
                  "FIndex HAVING COUNT(*) > 1) AS d"),
            0);
}

TEST_F(DemoDataTest, AccountTypeListsAreWellFormedAndVaried) {
  const std::string all =
      "SELECT FAcctType AS a FROM t_DataFlowTopClass UNION ALL SELECT FAcctType FROM "
      "t_DataFlowSubSystem UNION ALL SELECT FAcctType FROM t_DataFlowSubFunc UNION ALL SELECT "
      "FAcctType FROM t_DataFlowDetailFunc";
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM (" + all + ") AS u WHERE a <> '' AND a NOT LIKE ',%,'"));
  for (const char* list : {",1,2,", ",3,", ",12,"}) {
    SCOPED_TRACE(list);
    EXPECT_GT(Count("SELECT COUNT(*) FROM (" + all + ") AS u WHERE a = ?", {list}), 0);
  }
  // Most nodes apply to every account type.
  EXPECT_GT(Count("SELECT COUNT(*) FROM (" + all + ") AS u WHERE a = '' OR a IS NULL"),
            Count("SELECT COUNT(*) FROM (" + all + ") AS u WHERE a <> ''") * 4);
}

class TreeTextTest : public TreeDataTest {};

TEST_F(TreeTextTest, ReadsCommentsNullsAndWindowsLineEnds) {
  Load([](Transaction& txn) {
    demo::LoadTreeText(txn,
                       "# a comment\r\n\r\nTopClass\t5\t10\t1\t0\t\\N\t甲\t甲\tA\t\t\t\r\n"
                       "Profile\tk\tv");
  });
  Recordset rs = Query(
      "SELECT FIndex, FAcctType, FToolTips, FTopClassName_EN FROM "
      "t_DataFlowTopClass WHERE FTopClassID = 5");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(10, rs.Value("FIndex").AsLong());
  EXPECT_TRUE(rs.Value("FAcctType").IsNull());
  EXPECT_EQ("", rs.Value("FToolTips").AsString());
  EXPECT_EQ("A", rs.Value("FTopClassName_EN").AsString());
  EXPECT_EQ("v", Scalar("SELECT FValue FROM t_DataFlowProfile WHERE FName = 'k'").AsString());
}

TEST_F(TreeTextTest, MalformedLinesNameTheirLineNumber) {
  const struct {
    const char* text;
    const char* line;
    const char* detail;
  } kCases[] = {
      {"Bogus\t1", "line 1:", "unknown record kind"},
      {"# c\n\nTopClass\tx\t10\t1\t0\t\ta\tb\tc\td\te\tf", "line 3:", "not an integer"},
      {"Profile\ta\tb\nProfile\ta\tb\tc", "line 2:", "takes 2 fields, found 3"},
      {"SupportedProc\tp\nUserProfile\t1\tname", "line 2:", "takes 3 fields, found 2"},
      {"SupportedProc", "line 1:", "takes 1 fields, found 0"},
      {"UserProfile\t99999999999\ta\tb", "line 1:", "not an integer"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    auto error =
        test::ErrorOf([&] { Load([&](Transaction& txn) { demo::LoadTreeText(txn, c.text); }); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(errors::kInvalidCall, error->number());
    EXPECT_NE(std::string::npos, error->description().find(c.line)) << error->description();
    EXPECT_NE(std::string::npos, error->description().find(c.detail)) << error->description();
  }
}

TEST_F(TreeTextTest, DatabaseFailureNamesTheLine) {
  auto error = test::ErrorOf([&] {
    Load([](Transaction& txn) { demo::LoadTreeText(txn, "Profile\ta\tb\nProfile\ta\tc\n"); });
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(errors::kDatabase, error->number());
  EXPECT_EQ(0u, error->description().find("tree text line 2: ")) << error->description();
}

TEST_F(TreeTextTest, WriterRejectsUnknownKindsAndWrongValueCounts) {
  EXPECT_EQ(11, demo::RecordWriter::ValueCount("TopClass"));
  EXPECT_EQ(-1, demo::RecordWriter::ValueCount("topclass"));
  EXPECT_EQ(errors::kInvalidCall, test::ErrorNumberOf([&] {
              Load([](Transaction& txn) { demo::RecordWriter(txn).Insert("Profile", {"a"}); });
            }));
  EXPECT_EQ(errors::kInvalidCall, test::ErrorNumberOf([&] {
              Load([](Transaction& txn) { demo::RecordWriter(txn).Insert("Nope", {}); });
            }));
}

class SyntheticDataTest : public TreeDataTest {};

TEST_F(SyntheticDataTest, SmallShapeHasExactCountsAndUsers) {
  SyntheticShape shape{2, 2, 2, 3, 5};
  Load([&](Transaction& txn) { LoadSynthetic(txn, shape); });

  EXPECT_EQ(2, Count("SELECT COUNT(*) FROM t_DataFlowTopClass"));
  EXPECT_EQ(4, Count("SELECT COUNT(*) FROM t_DataFlowSubSystem"));
  EXPECT_EQ(8, Count("SELECT COUNT(*) FROM t_DataFlowSubFunc"));
  EXPECT_EQ(24, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc"));
  ExpectIdScheme();
  ExpectOverlayReferencesResolve();
  ExpectThreeLanguages("t_DataFlowDetailFunc", "FFuncName");
  ExpectThreeLanguages("t_DataFlowSubSystem", "FName");

  // Users 20001..20005, each with a renamed detail, a hidden subsystem and a
  // reordered sub-function.
  for (const char* table : {"t_UserDetailFunc", "t_UserSubSystem", "t_UserSubFunc"}) {
    SCOPED_TRACE(table);
    Recordset rs = Query(std::string("SELECT COUNT(*) AS n, COUNT(DISTINCT FUserID) AS users, "
                                     "MIN(FUserID) AS lo, MAX(FUserID) AS hi FROM ") +
                         table + " WHERE FUserID <> 0");
    EXPECT_EQ(5, rs.Value("n").AsLong());
    EXPECT_EQ(5, rs.Value("users").AsLong());
    EXPECT_EQ(20001, rs.Value("lo").AsLong());
    EXPECT_EQ(20005, rs.Value("hi").AsLong());
  }
  EXPECT_EQ(5, Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID <> 0 AND FVisible = 0"));
  EXPECT_EQ(5, Count("SELECT COUNT(*) FROM t_UserDetailFunc u JOIN t_DataFlowDetailFunc t ON "
                     "t.FDetailFuncID = u.FDetailFuncID WHERE u.FFuncName <> t.FFuncName AND "
                     "u.FFuncName_EN <> t.FFuncName_EN"));
  EXPECT_EQ(5, Count("SELECT COUNT(*) FROM t_UserSubFunc u JOIN t_DataFlowSubFunc t ON "
                     "t.FSubFuncID = u.FSubFuncID WHERE u.FIndex <> t.FIndex"));

  EXPECT_EQ(2, Count("SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID = 0"));
  EXPECT_EQ(4, Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID = 0"));
  EXPECT_GT(Count("SELECT COUNT(*) FROM t_DataFlowAcctType"), 0);
  EXPECT_EQ("V12.01.SP3", Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory = 'Base' "
                                 "AND FKey = 'ServicePack'")
                              .AsString());
}

TEST_F(SyntheticDataTest, LoadsTwentyThousandFunctionsQuickly) {
  auto start = std::chrono::steady_clock::now();
  Load([](Transaction& txn) { LoadSynthetic(txn, ParseSyntheticShape("5,10,20,20")); });
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(20000, Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc"));
  EXPECT_EQ(300, Count("SELECT COUNT(DISTINCT FUserID) FROM t_UserSubFunc"));
  EXPECT_LT(seconds, 20.0);  // a few seconds on a slow machine
}

TEST_F(SyntheticDataTest, ParsesShapesAndRejectsBadOnes) {
  SyntheticShape shape = ParseSyntheticShape(" 2, 3 ,4,99");
  EXPECT_EQ(2, shape.top_classes);
  EXPECT_EQ(3, shape.subsystems);
  EXPECT_EQ(4, shape.sub_functions);
  EXPECT_EQ(99, shape.detail_functions);
  EXPECT_EQ(300, shape.users);

  const struct {
    const char* text;
    int32_t error;
  } kBad[] = {
      {"", errors::kTypeMismatch},          {"1,2,3", errors::kTypeMismatch},
      {"1,2,3,4,5", errors::kTypeMismatch}, {"a,b,c,d", errors::kTypeMismatch},
      {"1,,2,3", errors::kTypeMismatch},    {"1.5,2,3,4", errors::kTypeMismatch},
      {"1,2,3,4,", errors::kTypeMismatch},  {"0,1,1,1", errors::kInvalidCall},
      {"1,-2,1,1", errors::kInvalidCall},   {"1,1,100,1", errors::kInvalidCall},
      {"100,1,1,1", errors::kInvalidCall},
  };
  for (const auto& bad : kBad) {
    SCOPED_TRACE(bad.text);
    EXPECT_EQ(bad.error, test::ErrorNumberOf([&] { ParseSyntheticShape(bad.text); }));
  }
  EXPECT_EQ(errors::kInvalidCall, test::ErrorNumberOf([&] {
              Load([](Transaction& txn) { LoadSynthetic(txn, SyntheticShape{1, 1, 1, 1, -1}); });
            }));
  EXPECT_EQ(0, Count("SELECT COUNT(*) FROM t_DataFlowTopClass"));
}

}  // namespace
}  // namespace lxm
