// RefreshDetailFunc is one transaction: a failure at any statement, or any
// bad input, raises error 11 and leaves both detail tables, the favourites
// and the stamps exactly as they were. Values are stored as given.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "test_support/error_matchers.h"
#include "update/detail_sync_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;

class RefreshDetailFuncFaultTest : public test::DetailSyncTest {
 protected:
  std::shared_ptr<Vector> OrdinaryList() {
    return List({Item({{"FFuncName", Variant("录入")}}), Item({{"FFuncName", Variant("私有")}}),
                 Item({{"FFuncName", Variant("新")}})});
  }
  std::shared_ptr<Vector> ClassParamList() {
    return List({Item({{"FClassParam", Variant("3001")}, {"FFuncName", Variant("n")}}),
                 Item({{"FClassParam", Variant("60")}}), Item({{"FClassParam", Variant("88")}})});
  }

  // Runs `call`, which must fail, and checks that nothing changed.
  void ExpectFailsLeavingNothing(const std::function<void()>& call, const std::string& description) {
    const std::string dump = Dump();
    auto stamps = Stamps();
    auto error = ErrorOf(call);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), 11);
    EXPECT_EQ(error->source(), "LXMDataFlow.DatasUpdate.RefreshDetailFunc");
    EXPECT_NE(error->description().find(description), std::string::npos) << error->description();
    EXPECT_EQ(Dump(), dump);
    EXPECT_TRUE(MovedSince(stamps).empty());
  }
};

TEST_F(RefreshDetailFuncFaultTest, AFailureAtAnyStatementLeavesEverythingAsItWas) {
  struct Case {
    const char* step;
    const char* trigger;  // raises "boom"
    int32_t user;
    int32_t sub_func;
    bool full;
    bool template_mode;
  };
  const Case cases[] = {
      {"template delete", "BEFORE DELETE ON t_DataFlowDetailFunc WHEN OLD.FDetailFuncID > 0", 5, 100101, true, true},
      {"third item's insert", "BEFORE INSERT ON t_DataFlowDetailFunc WHEN NEW.FIndex = 3", 5, 100101, true, true},
      {"overlay mark", "BEFORE UPDATE ON t_UserDetailFunc", 5, 100101, true, false},
      {"favourites re-pointed",
       "BEFORE UPDATE ON t_NormalFunc WHEN OLD.FDetailFuncID < 0 AND NEW.FDetailFuncID <> -OLD.FDetailFuncID", 5,
       100101, true, false},
      {"overlay sweep", "BEFORE DELETE ON t_UserDetailFunc WHEN OLD.FDetailFuncID < 0", 5, 100101, true, false},
      // The restore may not be skipped: no favourite is lost behind a success.
      {"favourites restored",
       "BEFORE UPDATE ON t_NormalFunc WHEN OLD.FDetailFuncID < 0 AND NEW.FDetailFuncID = -OLD.FDetailFuncID", 5, 100101,
       true, true},
      {"caller's stamp", "BEFORE UPDATE ON t_DataFlowTimeStamp WHEN OLD.FName = 'DataFlow5'", 5, 100101, true, false},
      {"class-parameter unmark", "BEFORE UPDATE ON t_DataFlowDetailFunc WHEN NEW.FDetailFuncID = 60020108", 5, 600201,
       true, true},
      {"template sweep", "BEFORE DELETE ON t_DataFlowDetailFunc WHEN OLD.FDetailFuncID < 0", 5, 600201, true, true},
      {"names from the template", "BEFORE UPDATE ON t_UserDetailFunc WHEN NEW.FFuncName <> OLD.FFuncName", 6, 600201,
       true, false},
      {"stamp of a user who lost rows", "BEFORE UPDATE ON t_DataFlowTimeStamp WHEN OLD.FName = 'DataFlow6'", 5, 600201,
       true, true},
      {"flow chart", "BEFORE UPDATE ON t_base_FlowChartTree", 5, 100101, false, true},
      {"template stamp after flags", "BEFORE UPDATE ON t_DataFlowTimeStamp WHEN OLD.FName = 'DataFlow'", 5, 100101,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    AddFault("fault", c.trigger, "boom");
    std::shared_ptr<Vector> list =
        !c.full                ? List({Item({{"FDetailFuncID", Variant(10010101)}, {"FVisible", Variant(false)}})})
        : c.sub_func == 600201 ? ClassParamList()
                               : OrdinaryList();
    ExpectFailsLeavingNothing(
        [&] { update_.RefreshDetailFunc(Dsn(c.user), c.sub_func, list, c.full, c.template_mode); }, "boom");
    DropFault("fault");
  }
}

TEST_F(RefreshDetailFuncFaultTest, BadInputRaisesAClearErrorAndWritesNothing) {
  struct Case {
    const char* input;
    std::shared_ptr<Vector> list;
    int32_t sub_func;
    bool full;
    const char* description;
  };
  const Case cases[] = {
      {"no list", nullptr, 100101, true, "Nothing"},
      {"an item that is text", List({Item({{"FFuncName", Variant("ok")}}), Variant("FFuncName=x")}), 100101, true,
       "Type mismatch"},
      {"an item that is Null", List({Variant::Null()}), 100101, true, "Type mismatch"},
      {"an item that is a list", List({Variant(Vector::Create())}), 100101, false, "Type mismatch"},
      {"an ID that is not a number",
       List({Item({{"FFuncName", Variant("ok")}}), Item({{"FDetailFuncID", Variant("12a")}})}), 100101, true,
       "Type mismatch"},
      {"an ID beyond 32 bits", List({Item({{"FDetailFuncID", Variant(3e9)}})}), 100101, true, "Overflow"},
      {"a function type that is not a number", List({Item({{"FFuncType", Variant("x")}})}), 100101, true,
       "Type mismatch"},
      {"a class parameter compared as a number",
       List({Item({{"FDetailFuncID", Variant(60020108)}, {"FClassParam", Variant("abc")}})}), 600201, true,
       "Type mismatch"},
      {"a flag that is not a Boolean", List({Item({{"FVisible", Variant("maybe")}})}), 100101, true, "Type mismatch"},
      {"a flags item with no flag", List({Item({{"FDetailFuncID", Variant(10010101)}})}), 100101, false,
       "neither FVisible nor FEnable"},
      {"a flags ID that is not a number", List({Item({{"FDetailFuncID", Variant("x")}, {"FEnable", Variant(false)}})}),
       100101, false, "Type mismatch"},
      {"the same name twice (one ID)", List({Item({{"FFuncName", Variant("a")}}), Item({{"FFuncName", Variant("A")}})}),
       100101, true, test::OnPostgres() ? "unique constraint" : "UNIQUE constraint"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ExpectFailsLeavingNothing([&] { update_.RefreshDetailFunc(Dsn(5), c.sub_func, c.list, c.full, true); },
                              c.description);
  }
  // A descriptor that does not parse fails the same way.
  ExpectFailsLeavingNothing([&] { update_.RefreshDetailFunc(Dsn(5) + ";UserID=6", 100101, OrdinaryList()); }, "");
}

TEST_F(RefreshDetailFuncFaultTest, NamesAreStoredVerbatimAndMatchedWithTheirQuotes) {
  const std::string quoted = "O'Brien's \"list\"";
  const std::string injection = "x'); DELETE FROM t_NormalFunc; --";
  const std::string long_name(255, 'N');  // the longest the column holds
  Exec("UPDATE t_UserDetailFunc SET FFuncName = ? WHERE FUserID = 5 AND FDetailFuncID = 10010150", {Variant(quoted)});
  update_.RefreshDetailFunc(Dsn(5), 100101,
                            List({Item({{"FFuncName", Variant(quoted)}}), Item({{"FFuncName", Variant(injection)}}),
                                  Item({{"FFuncName", Variant(long_name)}, {"FFuncName_CHT", Variant::Null()}})}),
                            true, false);
  // The quoted name found the caller's old row: its favourite followed.
  EXPECT_EQ(Row("SELECT FFuncName FROM t_UserDetailFunc WHERE FUserID = 5 AND FDetailFuncID = 10010101")["FFuncName"],
            quoted);
  // Its own favourite of 10010101 is restored beside the one that followed.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = 5 AND FDetailFuncID = 10010101"), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = 5 AND FDetailFuncID = 10010150"), 0);
  EXPECT_EQ(Row("SELECT FFuncName FROM t_UserDetailFunc WHERE FUserID = 5 AND FDetailFuncID = 10010102")["FFuncName"],
            injection);
  auto long_row =
      Row("SELECT FFuncName, FFuncName_CHT, FFuncName_EN FROM t_UserDetailFunc "
          "WHERE FUserID = 5 AND FDetailFuncID = 10010103");
  EXPECT_EQ(long_row["FFuncName"], long_name);
  EXPECT_EQ(long_row["FFuncName_CHT"], "");  // Null reads as empty text
  EXPECT_EQ(long_row["FFuncName_EN"], long_name);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc"), 6);
}

}  // namespace
}  // namespace lxm
