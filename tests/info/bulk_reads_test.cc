// DatasInfo's bulk reads: several cached levels in one dictionary, all of a
// user's favourite items, and the export of a user's layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "test_support/error_matchers.h"
#include "test_support/recordset_helpers.h"
#include "tree/cls_data_info.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;
using test::FieldNames;
using test::Ids;

Variant Names(std::initializer_list<Variant> names) {
  auto vector = Vector::Create();
  for (const Variant& name : names) vector->Append(name);
  return Variant(vector);
}

std::vector<std::string> Keys(const Dictionary& dict) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : dict.entries()) keys.push_back(key);
  return keys;
}

// The tree of UpdateTest, and favourite items of users 6 and 7.
class BulkReadsTest : public test::UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    Exec("INSERT INTO t_NormalFunc (FFuncGroupID, FUserID, FDetailFuncID, FHelpCode, FShowName, FFuncName) VALUES "
         "(1, 6, 10010101, 'A', 'a', 'x'), (2, 6, 999999999, 'B', 'b', 'y'), (3, 7, 10010101, 'C', 'c', 'z')");
  }

  DatasInfo info_{runtime_};
};

TEST_F(BulkReadsTest, GetRecordsetReturnsTheNamedLevelsOfTheCallersOrTheTemplatesView) {
  // The caller's own rows, blank names skipped, a repeated name stored once.
  Variant names = Names({"SubSystem", "", Variant(), "DetailFunc", "SubSystem"});
  std::shared_ptr<Dictionary> levels = info_.GetRecordset(Dsn(0, "en"), names, false);
  ASSERT_NE(levels, nullptr);
  EXPECT_EQ(Keys(*levels), (std::vector<std::string>{"SubSystem", "DetailFunc"}));
  EXPECT_EQ(Ids(*levels->Item("SubSystem").AsRecordset(), "FSubSysID"), (std::vector<int32_t>{1001, 2001, 100005}));
  EXPECT_EQ(Ids(*levels->Item("DetailFunc").AsRecordset(), "FDetailFuncID"), (std::vector<int32_t>{10010199}));
  int32_t id = 0;
  EXPECT_EQ(FieldNames(*levels->Item("SubSystem").AsRecordset()), FieldNames(info_.GetSubSystem(Dsn(0), id)));
  EXPECT_EQ(names.AsVector()->Count(), 5);

  // The template's levels, account types among them, in the request language;
  // names the cache does not hold map to Nothing.
  names = Names({"AcctType", "SubSystem", "Nope", "topclass"});
  levels = info_.GetRecordset(Dsn(6, "en"), names, true);
  ASSERT_NE(levels, nullptr);
  EXPECT_EQ(Keys(*levels), (std::vector<std::string>{"AcctType", "SubSystem", "Nope", "topclass"}));
  Recordset acct_types = *levels->Item("AcctType").AsRecordset();
  ASSERT_EQ(acct_types.RecordCount(), 1);
  EXPECT_EQ(acct_types.Value("FShowName").AsString(), "Standards");
  EXPECT_EQ(Ids(*levels->Item("SubSystem").AsRecordset(), "FSubSysID"), (std::vector<int32_t>{1001}));
  EXPECT_EQ(levels->Item("SubSystem").AsRecordset()->Value("FName").AsString(), "Ledger");
  EXPECT_TRUE(levels->Item("Nope").IsNothing());
  EXPECT_TRUE(levels->Item("topclass").IsNothing());

  // The user levels hold no account types.
  names = Names({"AcctType"});
  levels = info_.GetRecordset(Dsn(6), names, false);
  ASSERT_NE(levels, nullptr);
  EXPECT_TRUE(levels->Item("AcctType").IsNothing());
}

TEST_F(BulkReadsTest, GetRecordsetAnswersNothingForEveryFailure) {
  struct Case {
    const char* name;
    std::string dsn;
    Variant names;
  };
  const Case cases[] = {
      {"descriptor that does not parse", Dsn(6) + ";UserID=1", Names({"TopClass"})},
      {"a text for the names", Dsn(6), Variant("TopClass")},
      {"Null for the names", Dsn(6), Variant::Null()},
      {"no vector", Dsn(6), Variant(std::shared_ptr<Vector>())},
      {"a Null name", Dsn(6), Names({"TopClass", Variant::Null()})},
      {"an object for a name", Dsn(6), Names({Variant(Dictionary::Create())})},
      {"an unknown language", Dsn(6, "de"), Names({"TopClass"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant names = c.names;
    std::shared_ptr<Dictionary> levels;
    EXPECT_EQ(ErrorOf([&] { levels = info_.GetRecordset(c.dsn, names, false); }), std::nullopt);
    EXPECT_EQ(levels, nullptr);
  }
}

TEST_F(BulkReadsTest, GetUserNormalLstReturnsEveryItemOfTheCallerInEveryGroup) {
  Recordset items = info_.GetUserNormalLst(Dsn(6));
  EXPECT_EQ(FieldNames(items), FieldNames(Query("SELECT * FROM t_NormalFunc")));
  EXPECT_EQ(Ids(items, "FFuncGroupID"), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(Ids(items, "FUserID"), (std::vector<int32_t>{6, 6}));

  Recordset none = info_.GetUserNormalLst(Dsn(5));
  EXPECT_EQ(none.RecordCount(), 0);
  EXPECT_EQ(FieldNames(none), FieldNames(items));

  auto error = ErrorOf([&] { info_.GetUserNormalLst(Dsn(6) + ";UserID=1"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDuplicateKey);
  EXPECT_EQ(error->source(), kRuntimeErrorSource);
}

TEST_F(BulkReadsTest, ExportHoldsTheStampsAndPerNodeTheCallersRowElseTheDefault) {
  std::shared_ptr<Dictionary> exported = info_.ExportUserData(Dsn(6, "en"));
  ASSERT_NE(exported, nullptr);
  EXPECT_EQ(Keys(*exported), (std::vector<std::string>{"TimeStamp", "UserTimeStamp", "UserID", "TopClass",
                                                       "SubSystem", "SubFunc", "DetailFunc"}));
  clsDataInfo snapshots(runtime_);
  EXPECT_EQ(exported->Item("TimeStamp").AsString(), snapshots.GetTemplateVer(Dsn(6)));
  EXPECT_EQ(exported->Item("UserTimeStamp").AsString(), snapshots.GetUserTemplateVer(Dsn(6)));
  EXPECT_EQ(exported->Item("UserID").AsLong(), 6);

  // Every column of each table, FUserID included.
  const char* tables[][2] = {{"TopClass", "t_UserTopClass"},
                             {"SubSystem", "t_UserSubSystem"},
                             {"SubFunc", "t_UserSubFunc"},
                             {"DetailFunc", "t_UserDetailFunc"}};
  for (const auto& [key, table] : tables) {
    SCOPED_TRACE(key);
    EXPECT_EQ(FieldNames(*exported->Item(key).AsRecordset()),
              FieldNames(Query(std::string("SELECT * FROM ") + table)));
  }

  // Subsystem 1001 once, as user 6's row; the other nodes from the default.
  Recordset sub_systems = *exported->Item("SubSystem").AsRecordset();
  ASSERT_EQ(sub_systems.RecordCount(), 3);
  EXPECT_EQ(sub_systems.Filter("FSubSysID", Variant(1001)).Value("FName_EN").AsString(), "Six ledger");
  EXPECT_EQ(sub_systems.Filter("FSubSysID", Variant(1001)).Value("FUserID").AsLong(), 6);
  EXPECT_EQ(sub_systems.Filter("FSubSysID", Variant(2001)).Value("FUserID").AsLong(), 0);
  EXPECT_EQ(sub_systems.Filter("FSubSysID", Variant(100005)).Value("FUserID").AsLong(), 0);
  EXPECT_EQ(Ids(*exported->Item("DetailFunc").AsRecordset(), "FUserID"), (std::vector<int32_t>{0}));
  EXPECT_EQ(exported->Item("TopClass").AsRecordset()->RecordCount(), 0);

  // A user without rows of its own gets the default rows.
  Recordset defaults = *info_.ExportUserData(Dsn(7))->Item("SubSystem").AsRecordset();
  EXPECT_EQ(defaults.RecordCount(), 3);
  EXPECT_EQ(Ids(defaults, "FUserID"), (std::vector<int32_t>{0, 0, 0}));

  auto error = ErrorOf([&] { info_.ExportUserData(Dsn(6) + ";UserID=1"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDuplicateKey);
}

}  // namespace
}  // namespace lxm
