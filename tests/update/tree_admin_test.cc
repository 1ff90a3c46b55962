// Tree administration as callers and the database see it: new subsystems and
// top classes with their IDs, catalogue rows and renumbering; deletes; reset
// and propagation of overlays; all or nothing under failure.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "test_support/database_dump.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;

// The nine side tables and their subsystem column.
constexpr std::pair<const char*, const char*> kSideTables[] = {
    {"ICClassType", "FFunctionID"},  {"ICListTemplate", "FSubSysID"}, {"t_LogFunction", "FSubSysID"},
    {"t_SysFunction", "FSubSysID"},  {"t_DataAccess", "FSubSysID"},   {"t_FieldObject", "FSubSysID"},
    {"t_DataObject", "FSubSysID"},   {"t_TableDescription", "FSubSystemID"}, {"ICClassWorkFlow", "FSubSysID"},
};

class TreeAdminTest : public test::UpdateTest {
 protected:
  // Rows carrying subsystem `id` in every side table, and its catalogue row.
  void SeedSubsystemNumber(int32_t id) {
    for (const auto& [table, column] : kSideTables) {
      Exec(std::string("INSERT INTO ") + table + " (FName, " + column + ") VALUES ('seed', ?)", {Variant(id)});
    }
    Exec("INSERT INTO t_SubSystem (FSubSysID, FNumber, FName) VALUES (?, 'OLD', 'old')", {Variant(id)});
  }
  // How many side tables hold a row with subsystem `id`.
  int SideTablesWith(int32_t id) {
    int tables = 0;
    for (const auto& [table, column] : kSideTables) {
      if (Count(std::string("SELECT COUNT(*) FROM ") + table + " WHERE " + column + " = ?", {Variant(id)}) > 0) {
        ++tables;
      }
    }
    return tables;
  }
  bool CatalogueHas(int32_t id) { return Count("SELECT COUNT(*) FROM t_SubSystem WHERE FSubSysID = ?", {Variant(id)}) > 0; }
  std::string Dump() {
    return test::DumpDatabase([this](const std::string& sql) { return Query(sql); });
  }
  // Overlay rows of one user, level by level, as "id:name:index:visible".
  std::vector<std::string> Overlay(int32_t user) {
    std::vector<std::string> rows;
    const char* statements[] = {
        "SELECT FTopClassID, FTopClassName, FIndex, FVisible FROM t_UserTopClass WHERE FUserID=? ORDER BY 1",
        "SELECT FSubSysID, FName, FIndex, FVisible FROM t_UserSubSystem WHERE FUserID=? ORDER BY 1",
        "SELECT FSubFuncID, FFuncName, FIndex, FVisible FROM t_UserSubFunc WHERE FUserID=? ORDER BY 1",
        "SELECT FDetailFuncID, FFuncName, FIndex, FVisible FROM t_UserDetailFunc WHERE FUserID=? ORDER BY 1"};
    for (const char* sql : statements) {
      for (Recordset rs = Query(sql, {Variant(user)}); !rs.Eof(); rs.MoveNext()) {
        rows.push_back(CStr(rs.Value(size_t{0})) + ":" + CStr(rs.Value(1)) + ":" + CStr(rs.Value(2)) + ":" +
                       CStr(rs.Value(3)));
      }
    }
    return rows;
  }
};

TEST_F(TreeAdminTest, CreateSubSysSettlesItsIDCatalogueRowAndRenumbering) {
  SeedSubsystemNumber(8005);
  SeedSubsystemNumber(40);
  Exec("INSERT INTO t_SubSystem (FSubSysID, FNumber, FName) VALUES (35, 'HAD', 'had')");
  struct Case {
    const char* name;
    Variant requested;  // Empty: key missing
    int32_t top_class, index;
    int32_t expected_id;
    bool catalogue;       // a catalogue row for the new ID, FNumber "SUB"
    int32_t renumbered;   // old number now found nowhere (0: none)
  };
  const Case cases[] = {
      {"requested ID", Variant(120), 3, 5, 120, false, 0},
      {"missing ID", Variant(), 3, 4, 34, false, 0},
      {"trusted range", Variant(-8005), 800, 1, 8001, true, 8005},
      {"unknown previous", Variant(-41), 3, 6, 36, false, 0},
      {"known previous", Variant(-40), 3, 5, 35, true, 40},
      {"previous equals new", Variant(-8002), 800, 2, 8002, true, 0},
      {"low bound", Variant(8000), 1, 1, 8000, true, 0},
      {"high bound", Variant(8999), 1, 1, 8999, true, 0},
      {"wide low bound", Variant(80000), 1, 1, 80000, true, 0},
      {"wide high bound", Variant(89999), 1, 1, 89999, true, 0},
      {"below", Variant(7999), 1, 1, 7999, false, 0},
      {"above", Variant(9000), 1, 1, 9000, false, 0},
      {"wide below", Variant(79999), 1, 1, 79999, false, 0},
      {"wide above", Variant(90000), 1, 1, 90000, false, 0},
      {"text number", Variant(" 7000 "), 1, 1, 7000, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto before = Stamps();
    auto dict = Values({{"FSysName", Variant("新系统")}, {"FSysNameEN", Variant("New")}, {"FSubID", Variant("SUB")},
                        {"FClassName", Variant("K3.New")}, {"FVisible", Variant(false)}});
    if (!c.requested.IsEmpty()) dict->Set("FSubSysID", c.requested);
    EXPECT_EQ(update_.CreateSubSys(Dsn(5), c.top_class, c.index, dict, true), c.expected_id);
    auto row = Row("SELECT * FROM t_DataFlowSubSystem WHERE FSubSysID = ?", {Variant(c.expected_id)});
    EXPECT_EQ(row["FTopClassID"], std::to_string(c.top_class));
    EXPECT_EQ(row["FIndex"], std::to_string(c.index));
    EXPECT_EQ(row["FName"], "新系统");
    EXPECT_EQ(row["FName_CHT"], "新系统");  // defaults to the simplified-Chinese name
    EXPECT_EQ(row["FName_EN"], "New");
    EXPECT_EQ(row["FVisible"], "0");
    EXPECT_EQ(row["FAcctType"], " ");
    EXPECT_EQ(row["FSubID"], "SUB");
    auto catalogue = Row("SELECT FNumber, FName_EN FROM t_SubSystem WHERE FSubSysID = ?", {Variant(c.expected_id)});
    if (c.catalogue) {
      EXPECT_EQ(catalogue["FNumber"], "SUB");
      EXPECT_EQ(catalogue["FName_EN"], "New");
      EXPECT_EQ(row["FSubsystemID"], std::to_string(c.expected_id));
    } else {
      EXPECT_NE(catalogue["FNumber"], "SUB");
    }
    if (c.renumbered != 0) {
      EXPECT_EQ(SideTablesWith(c.renumbered), 0);
      EXPECT_EQ(SideTablesWith(c.expected_id), 9);
      EXPECT_FALSE(CatalogueHas(c.renumbered));
    }
    EXPECT_EQ(MovedSince(before), std::set<std::string>{"DataFlow"});
  }
  // The row 35 had was replaced by the new subsystem's.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_SubSystem WHERE FNumber = 'HAD'"), 0);
}

TEST_F(TreeAdminTest, APreviousNumberWritesTheCatalogueRowOutsideTheRanges) {
  SeedSubsystemNumber(8100);
  // New ID 9001 is outside both ranges, but a previous number writes its row
  // and the old number's row goes.
  EXPECT_EQ(update_.CreateSubSys(Dsn(5), 900, 1, Values({{"FSubSysID", Variant(-8100)}, {"FSubID", Variant("X")}}),
                                 true),
            9001);
  EXPECT_EQ(Row("SELECT FNumber FROM t_SubSystem WHERE FSubSysID = 9001")["FNumber"], "X");
  EXPECT_FALSE(CatalogueHas(8100));
  EXPECT_EQ(SideTablesWith(9001), 9);
}

TEST_F(TreeAdminTest, CreateInOverlayModeWritesTheCallersRowAndStamp) {
  // A template row of that ID is linked to its catalogue row all the same.
  Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName) VALUES (8501, 1, 'template')");
  auto before = Stamps();
  EXPECT_EQ(update_.CreateSubSys(Dsn(5), 1, 7, Values({{"FSubSysID", Variant(8500)}, {"FSysName", Variant("我的")}})),
            8500);
  auto row = Row("SELECT * FROM t_UserSubSystem WHERE FSubSysID = 8500");
  EXPECT_EQ(row["FUserID"], "5");
  EXPECT_EQ(row["FName_EN"], "我的");
  EXPECT_EQ(row["FVisible"], "1");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FSubSysID = 8500"), 0);
  EXPECT_TRUE(CatalogueHas(8500));  // the catalogue follows the range in either mode
  EXPECT_EQ(update_.CreateSubSys(Dsn(5), 1, 8, Values({{"FSubSysID", Variant(8501)}})), 8501);
  EXPECT_EQ(Row("SELECT FSubsystemID, FName FROM t_DataFlowSubSystem WHERE FSubSysID = 8501"),
            (std::map<std::string, std::string>{{"FSubsystemID", "8501"}, {"FName", "template"}}));

  EXPECT_EQ(update_.CreateTopClass(Dsn(5), 30, Values({{"FTopClassID", Variant(1005)},
                                                        {"FTopClassName", Variant("工具")},
                                                        {"FTopClassNameEN", Variant("Tools")},
                                                        {"FVisible", Variant("False")}})),
            1005);
  auto top = Row("SELECT * FROM t_UserTopClass WHERE FTopClassID = 1005");
  EXPECT_EQ(top["FUserID"], "5");
  EXPECT_EQ(top["FTopClassName_CHT"], "工具");
  EXPECT_EQ(top["FTopClassName_EN"], "Tools");
  EXPECT_EQ(top["FVisible"], "0");
  EXPECT_EQ(top["FIndex"], "30");
  EXPECT_EQ(top["FAcctType"], " ");
  EXPECT_EQ(MovedSince(before), std::set<std::string>{"DataFlow5"});

  EXPECT_EQ(update_.CreateTopClass(Dsn(5), 40, Values({{"FTopClassID", Variant(7)}, {"FShowSysType", Variant(2)}}),
                                   true),
            7);
  auto template_top = Row("SELECT * FROM t_DataFlowTopClass WHERE FTopClassID = 7");
  EXPECT_EQ(template_top["FTopClassName"], " ");
  EXPECT_EQ(template_top["FVisible"], "1");
  EXPECT_EQ(template_top["FShowSysType"], "2");
}

TEST_F(TreeAdminTest, CreateFailuresCarryTheirSourcesAndWriteNothing) {
  SeedSubsystemNumber(8005);
  struct Case {
    const char* name;
    std::function<void()> call;
    int32_t number;
    std::string source;
    std::string described;  // a text the description holds
  };
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName) VALUES (992, 5, 99, 'mine')");
  const Case cases[] = {
      {"duplicate subsystem", [&] { update_.CreateSubSys(Dsn(5), 1, 1, Values({{"FSubSysID", Variant(1001)}}), true); },
       errors::kDatabase, "LXMDataFlow.DatasUpdate.CreateSubSys", "subsystem ID 1001 is taken"},
      {"ID made from the index taken", [&] { update_.CreateSubSys(Dsn(5), 1, 991, Values({}), true); },
       errors::kDatabase, "LXMDataFlow.DatasUpdate.CreateSubSys", "1001 is taken already (top class 1 times 10 plus index 991)"},
      {"caller's own ID taken", [&] { update_.CreateSubSys(Dsn(5), 99, 2, Values({})); },
       errors::kDatabase, "LXMDataFlow.DatasUpdate.CreateSubSys", "992 is taken"},
      {"text for a number",
       [&] { update_.CreateSubSys(Dsn(5), 1, 1, Values({{"FSubSysID", Variant(-8005)}, {"FShowSysType", Variant("x")}}), true); },
       errors::kTypeMismatch, "LXMDataFlow.DatasUpdate.CreateSubSys"},
      {"overflow", [&] { update_.CreateSubSys(Dsn(5), 300000000, 1, Values({}), true); }, errors::kOverflow,
       "LXMDataFlow.DatasUpdate.CreateSubSys"},
      {"no dictionary", [&] { update_.CreateSubSys(Dsn(5), 1, 1, nullptr, true); }, errors::kInvalidCall,
       "LXMDataFlow.DatasUpdate.CreateSubSys"},
      {"bad descriptor", [&] { update_.CreateSubSys(Dsn(5) + ";UserID=6", 1, 1, Values({})); }, errors::kDuplicateKey,
       "LXMDataFlow.DatasUpdate.CreateSubSys"},
      {"duplicate top class", [&] { update_.CreateTopClass(Dsn(5), 1, Values({{"FTopClassID", Variant(1)}}), true); },
       errors::kDatabase, BackendName() + "\r\nLXMDataFlow.DatasUpdate.CreateTopClass"},
      {"flag not a Boolean",
       [&] { update_.CreateTopClass(Dsn(5), 1, Values({{"FTopClassID", Variant(9)}, {"FVisible", Variant("maybe")}})); },
       errors::kTypeMismatch, "LXMDataFlow\r\nLXMDataFlow.DatasUpdate.CreateTopClass"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = Dump();
    auto error = ErrorOf(c.call);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), c.number);
    EXPECT_EQ(error->source(), c.source);
    EXPECT_NE(error->description().find(c.described), std::string::npos) << error->description();
    EXPECT_EQ(Dump(), before);
  }
}

TEST_F(TreeAdminTest, DeleteItemRemovesOneRowAtEveryLevel) {
  Exec("INSERT INTO t_SubSystem (FSubSysID, FNumber, FName) VALUES (1001, 'GL', 'gl')");
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName) VALUES (1, 0, 'a'), (1, 7, 'b'), (1, 6, 'c')");
  struct Case {
    const char* name;
    int32_t base, id;
    bool template_mode;
    const char* gone;    // rows that must be gone
    const char* kept;    // rows that must stay
    std::set<std::string> stamps;
  };
  const Case cases[] = {
      {"template subsystem", 100000, 1001, true,
       "SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FSubSysID=1001 UNION ALL "
       "SELECT COUNT(*) FROM t_SubSystem WHERE FSubSysID=1001",
       "SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID=1001", {"DataFlow"}},
      {"template detail", 1000000000, 10010101, true,
       "SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID=10010101",
       "SELECT COUNT(*) FROM t_DataFlowDetailFunc", {"DataFlow"}},
      {"template top class", 1000, 2, true, "SELECT COUNT(*) FROM t_DataFlowTopClass WHERE FTopClassID=2",
       "SELECT COUNT(*) FROM t_DataFlowTopClass", {"DataFlow"}},
      {"template sub-function", 10000000, 100101, true,
       "SELECT COUNT(*) FROM t_DataFlowSubFunc", "SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID=100101",
       {"DataFlow"}},
      {"overlay top class", 1000, 1, false, "SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID IN (0, 7)",
       "SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID = 6", {"DataFlow7", "DataFlow0"}},
      {"overlay detail", 1000000000, 10010199, false, "SELECT COUNT(*) FROM t_UserDetailFunc",
       "SELECT COUNT(*) FROM t_DataFlowDetailFunc", {"DataFlow7", "DataFlow0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto before = Stamps();
    update_.DeleteItem(Dsn(7), c.base, c.id, c.template_mode);
    for (Recordset rs = Query(c.gone); !rs.Eof(); rs.MoveNext()) EXPECT_EQ(CStr(rs.Value(size_t{0})), "0");
    EXPECT_GT(Count(c.kept), 0);
    EXPECT_EQ(MovedSince(before), c.stamps);
  }
  // An unknown level, or a failing statement, changes nothing and raises nothing.
  std::string before = Dump();
  update_.DeleteItem(Dsn(7), 999, 1, true);
  AddFault("refuse", "BEFORE DELETE ON t_UserSubSystem", "kept");
  update_.DeleteItem(Dsn(6), 100000, 1001, false);
  EXPECT_EQ(Dump(), before);
}

TEST_F(TreeAdminTest, SetDefaultRebuildsTheOverlayFromTheDefaultsNodesAndTheTemplate) {
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FIndex, FVisible) VALUES "
       "(1, 0, 'default one', 5, 0), (2, 0, 'default two', 6, 1), (1, 7, 'mine', 99, 1)");
  Exec("UPDATE t_DataFlowTopClass SET FVisible = 0 WHERE FTopClassID = 2");
  auto before = Stamps();
  update_.SetDefault(Dsn(7));
  EXPECT_EQ(Overlay(7), (std::vector<std::string>{"1:财务:10:1", "2:供应链:20:0", "1001:总账:10:1"}));
  // Default rows without a template node (2001, 100005, 10010199) are gone.
  EXPECT_EQ(Overlay(0), (std::vector<std::string>{"1:default one:5:0", "2:default two:6:1", "1001:默认总账:15:1"}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow0", "DataFlow5", "DataFlow6", "DataFlow7"}));

  // User 0 is the default itself: refused, nothing changed.
  std::string dump = Dump();
  auto error = ErrorOf([&] { update_.SetDefault(Dsn(0)); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kInvalidCall);
  EXPECT_EQ(error->source(), "LXMDataFlow.DatasUpdate.SetDefault");
  EXPECT_EQ(Dump(), dump);
}

TEST_F(TreeAdminTest, ApplyAllUserCopiesTheTemplateUsersOverlay) {
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FIndex) VALUES "
       "(1, 12, 'twelve', 1), (2, 0, 'default', 2), (1, 3, 'three', 3)");
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FFuncName, FIndex) VALUES (10010101, 12, 'd12', 4)");
  std::vector<std::string> twelve = Overlay(12);
  std::vector<std::string> defaults = Overlay(0);
  auto before = Stamps();

  // Listed users (one twice, the template user too) get exact copies.
  auto users = std::make_shared<Vector>();
  for (int32_t user : {3, 4, 12, 3}) users->Append(Variant(user));
  EXPECT_TRUE(update_.ApplyAllUser(Dsn(5), users, Values({{"TemplateUserID", Variant("12")}})));
  EXPECT_EQ(Overlay(3), twelve);
  EXPECT_EQ(Overlay(4), twelve);
  EXPECT_EQ(Overlay(12), twelve);
  EXPECT_EQ(Overlay(0), defaults);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow0", "DataFlow5", "DataFlow6", "DataFlow7"}));

  // 25 users go in three chunks; all of them get their copy.
  users = std::make_shared<Vector>();
  for (int32_t user = 100; user < 125; ++user) users->Append(Variant(user));
  EXPECT_TRUE(update_.ApplyAllUser(Dsn(12), users));
  for (int32_t user = 100; user < 125; ++user) EXPECT_EQ(Overlay(user), twelve) << user;

  // No list: user 12's overlay becomes everybody's default.
  EXPECT_TRUE(update_.ApplyAllUser(Dsn(12), std::make_shared<Vector>()));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID NOT IN (0, 12)"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID NOT IN (0, 12)"), 0);
  EXPECT_EQ(Overlay(12), twelve);
  EXPECT_EQ(Overlay(0), (std::vector<std::string>{"1:twelve:1:1", "2:default:2:1", "1001:默认总账:15:1",
                                                  "2001:默认采购:25:1", "100005:共享报表:35:1",
                                                  "10010101:d12:4:1", "10010199:默认明细:99:1"}));

  // User 0 as the template user copies nothing onto itself.
  defaults = Overlay(0);
  before = Stamps();
  EXPECT_TRUE(update_.ApplyAllUser(Dsn(0), std::make_shared<Vector>()));
  EXPECT_EQ(Overlay(0), defaults);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID <> 0"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow0", "DataFlow5", "DataFlow6", "DataFlow7"}));
}

TEST_F(TreeAdminTest, SetDefaultAfterApplyAllUserGivesTheTemplatesAttributes) {
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FIndex, FVisible) VALUES (1, 5, 'x', 3, 0)");
  EXPECT_TRUE(update_.ApplyAllUser(Dsn(5), std::make_shared<Vector>()));
  update_.SetDefault(Dsn(8));
  EXPECT_EQ(Overlay(8), (std::vector<std::string>{"1:财务:10:1", "1001:总账:10:1"}));
}

TEST_F(TreeAdminTest, EveryAdministrativeWriteIsAllOrNothing) {
  SeedSubsystemNumber(8005);
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName) VALUES (1, 12, 'twelve'), (1, 0, 'd')");
  auto listed = std::make_shared<Vector>();
  for (int32_t user = 20; user < 45; ++user) listed->Append(Variant(user));
  auto bad_list = std::make_shared<Vector>();
  bad_list->Append(Variant(3));
  bad_list->Append(Variant("three"));
  struct Case {
    const char* name;
    std::function<void()> call;
    bool raises;
  };
  const Case cases[] = {
      {"CreateSubSys renumbering",
       [&] { update_.CreateSubSys(Dsn(5), 800, 1, Values({{"FSubSysID", Variant(-8005)}}), true); }, true},
      {"CreateTopClass", [&] { update_.CreateTopClass(Dsn(5), 1, Values({{"FTopClassID", Variant(9)}})); }, true},
      {"DeleteItem", [&] { update_.DeleteItem(Dsn(6), 100000, 1001, false); }, false},
      {"SetDefault", [&] { update_.SetDefault(Dsn(6)); }, true},
      {"ApplyAllUser to all", [&] { update_.ApplyAllUser(Dsn(12), std::make_shared<Vector>()); }, true},
      {"ApplyAllUser listed", [&] { update_.ApplyAllUser(Dsn(12), listed); }, true},
  };
  // The last statement of each (a stamp touch) is refused.
  AddFault("refuse", "BEFORE UPDATE ON t_DataFlowTimeStamp", "late");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = Dump();
    auto error = ErrorOf(c.call);
    EXPECT_EQ(error.has_value(), c.raises);
    if (error) {
      EXPECT_NE(error->description().find("late"), std::string::npos) << error->description();
    }
    EXPECT_EQ(Dump(), before);
  }
  std::string before = Dump();
  auto error = ErrorOf([&] { update_.ApplyAllUser(Dsn(12), bad_list); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kTypeMismatch);
  EXPECT_EQ(error->source(), ":ExcuteBuildSQL");
  EXPECT_EQ(ErrorOf([&] { update_.ApplyAllUser(Dsn(12), nullptr); })->number(), errors::kInvalidCall);
  EXPECT_EQ(Dump(), before);
}

}  // namespace
}  // namespace lxm
