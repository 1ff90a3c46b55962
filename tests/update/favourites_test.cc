// Favourite groups and items: what the database and the reads see.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

class FavouritesTest : public test::UpdateTest {
 protected:
  int64_t Items(int32_t user) { return Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = ?", {Variant(user)}); }
  int64_t Groups(int32_t user) {
    return Count("SELECT COUNT(*) FROM t_NormalFuncGroup WHERE FUserID = ?", {Variant(user)});
  }
};

TEST_F(FavouritesTest, FirstItemWithoutGroupCreatesTheDefaultGroupOnce) {
  for (const auto& [language, name] : std::vector<std::pair<std::string, std::string>>{
           {"en", "Favorites"}, {"cht", "常用功能組"}, {"chs", "常用功能组"}}) {
    SCOPED_TRACE(language);
    int32_t user = language == "en" ? 30 : language == "cht" ? 31 : 32;
    update_.AddNormalItem(Dsn(user, language), 10010101, "PZ", "Entry", "凭证录入", -1);
    update_.AddNormalItem(Dsn(user, language), 10010101, "PZ", "Entry", "凭证录入", -1);
    EXPECT_EQ(Groups(user), 1);
    EXPECT_EQ(Items(user), 1);
    EXPECT_EQ(Row("SELECT FFuncGroupName FROM t_NormalFuncGroup WHERE FUserID = ?", {Variant(user)})["FFuncGroupName"],
              name);
  }
  // With a group named, the same item is stored twice.
  update_.AddNormalItem(Dsn(30), 10010101, "PZ", "Entry", "x", 77);
  update_.AddNormalItem(Dsn(30), 10010101, "PZ", "Entry", "x", 77);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FFuncGroupID = 77"), 2);
}

TEST_F(FavouritesTest, ConcurrentFirstAdditionsMakeOneDefaultGroup) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      DatasUpdate update(runtime_);
      for (int i = 0; i < 5; ++i) {
        try {
          update.AddNormalItem(Dsn(40), 10010101 + (t * 5 + i) % 3, "C", "S", "F", -1);
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Groups(40), 1);
  EXPECT_EQ(Items(40), 3);
}

TEST_F(FavouritesTest, AppendNormalItemFallsBackToTheFunctionNameAndReportsFailure) {
  EXPECT_TRUE(update_.AppendNormalItem(Dsn(30), 10010101, "O'Hara", "   ", "Func 'quoted'", -1));
  auto row = Row("SELECT FHelpCode, FShowName, FFuncName FROM t_NormalFunc WHERE FUserID = 30");
  EXPECT_EQ(row["FHelpCode"], "O'Hara");
  EXPECT_EQ(row["FShowName"], "Func 'quoted'");
  // A descriptor without a user fails the nested insert: False, nothing raised.
  EXPECT_FALSE(update_.AppendNormalItem("ConnectString={" + connect_string_ + "}", 1, "a", "b", "c", -1));
  EXPECT_FALSE(update_.AppendNormalItem(Dsn(30) + ";userid=3", 1, "a", "b", "c", -1));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc"), 1);
}

TEST_F(FavouritesTest, GroupsAreUniquePerUserIgnoringCaseAndTrailingBlanks) {
  update_.AddNormalFuncGroup(Dsn(30, "en"), "  Month end ", " Month end show ");
  auto row = Row("SELECT FFuncGroupName, FShowName FROM t_NormalFuncGroup WHERE FUserID = 30");
  EXPECT_EQ(row["FFuncGroupName"], "Month end");
  EXPECT_EQ(row["FShowName"], "Month end show");
  for (const std::string same : {"Month end", "MONTH END  ", " month end"}) {
    SCOPED_TRACE(same);
    std::optional<ComError> error = test::ErrorOf([&] { update_.AddNormalFuncGroup(Dsn(30, "en"), same); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kGroupExists);
    EXPECT_EQ(error->source(), "LxmDataFlow.AddNormalFuncGroup");
    EXPECT_EQ(error->description(), "The function group already exists");
  }
  EXPECT_EQ(test::ErrorOf([&] { update_.AddNormalFuncGroup(Dsn(30), "Month end"); })->description(),
            "功能组已存在");
  update_.AddNormalFuncGroup(Dsn(31), "Month end");  // another user may
  update_.AddNormalFuncGroup(Dsn(30), "O'Neil's");
  EXPECT_EQ(Groups(30), 2);
  EXPECT_EQ(Groups(31), 1);
}

TEST_F(FavouritesTest, RenameDeleteAndClear) {
  update_.AddNormalFuncGroup(Dsn(30), "A");
  int32_t group = static_cast<int32_t>(Count("SELECT FFuncGroupID FROM t_NormalFuncGroup WHERE FUserID = 30"));
  update_.UpdateNormalFuncGroup(Dsn(30), group, " B'x ");
  EXPECT_EQ(Row("SELECT FFuncGroupName FROM t_NormalFuncGroup WHERE FFuncGroupID = ?", {Variant(group)})
                ["FFuncGroupName"],
            " B'x ");
  update_.AddNormalItem(Dsn(30), 10010101, "a", "b", "c", group);
  // The caller has a group already: it is the default one.
  update_.AddNormalItem(Dsn(30), 999999999, "a", "b", "c", -1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FFuncGroupID = ?", {Variant(group)}), 2);
  update_.AddNormalItem(Dsn(31), 10010101, "a", "b", "c", -1);
  // Deleting the group leaves its items.
  update_.DelNormalFuncGroup(Dsn(30), group);
  EXPECT_EQ(Groups(30), 0);
  EXPECT_EQ(Items(30), 2);

  Exec("UPDATE t_DataFlowDetailFunc SET FIsNormal = 1");
  auto before = Stamps();
  update_.ClearNormalList(Dsn(30));
  EXPECT_EQ(Items(30), 0);
  EXPECT_EQ(Items(31), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FIsNormal <> 0"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));

  // DelNormalFunc removes the function from every user's favourites.
  update_.AddNormalItem(Dsn(30), 10010101, "a", "b", "c", -1);
  int32_t id = 10010101;
  update_.DelNormalFunc(Dsn(30), id);
  EXPECT_EQ(id, 10010101);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FDetailFuncID = 10010101"), 0);
  // ... and reports nothing when it fails.
  update_.DelNormalFunc(Dsn(30) + ";USERID=1", id);
}

TEST_F(FavouritesTest, AFailedClearLeavesTheFavouriteMarksAsTheyWere) {
  update_.AddNormalItem(Dsn(30), 10010101, "a", "b", "c", -1);
  Exec("UPDATE t_DataFlowDetailFunc SET FIsNormal = 1");
  AddFault("tr_refuse", "BEFORE DELETE ON t_NormalFunc", "refused");
  auto before = Stamps();
  // The nested SetDetailFuncNotNormal succeeds and votes complete; the delete
  // after it fails: the whole call must leave nothing behind.
  EXPECT_EQ(test::ErrorNumberOf([&] { update_.ClearNormalList(Dsn(30)); }), errors::kDatabase);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FIsNormal = 0"), 0);
  EXPECT_TRUE(MovedSince(before).empty());
  EXPECT_EQ(Items(30), 1);
}

TEST_F(FavouritesTest, ClearingOneGroupKeepsTheOthers) {
  update_.AddNormalItem(Dsn(30), 10010101, "a", "b", "c", 5);
  update_.AddNormalItem(Dsn(30), 10010101, "a", "b", "c", 6);
  update_.ClearNormalList(Dsn(30), 5);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FFuncGroupID = 5"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_NormalFunc WHERE FFuncGroupID = 6"), 1);
}

TEST_F(FavouritesTest, ProfileValuesAreStoredOncePerNameAndReadBack) {
  auto before = Stamps();
  update_.SetProfileValue(Dsn(6), "Layout", "");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow6"}));
  EXPECT_EQ(Row("SELECT FValue FROM t_UserDataFlowProfile WHERE FUserID = 6")["FValue"], " ");
  update_.SetProfileValue(Dsn(6), "layout", "wide 'x'");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FUserID = 6"), 1);
  DatasInfo info(runtime_);
  std::shared_ptr<Dictionary> stamps;
  EXPECT_EQ(info.GetProfileValue(Dsn(6), "Layout", stamps), "wide 'x'");
  EXPECT_EQ(info.GetProfileValue(Dsn(7), "Layout", stamps), "");

  // Concurrent first writes of one name leave one row.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      DatasUpdate update(runtime_);
      for (int i = 0; i < 5; ++i) update.SetProfileValue(Dsn(9), "Theme", "v" + std::to_string(t));
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FUserID = 9"), 1);
}

TEST_F(FavouritesTest, AFavouriteIsFoundByItsCodeAndByTheFunctionsOwnCode) {
  // The road of a user: add a favourite without a group, list, look up, clear.
  Exec("UPDATE t_DataFlowDetailFunc SET FHelpCode = 'OWN1', FEnable = 1, FVisible = 1 WHERE FDetailFuncID = 10010101");
  Exec("INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES ('Base', 'ServicePack', 'V12.01')");
  update_.AddNormalItem(Dsn(30, "en"), 10010101, "fav'1", "My entry", "Entry", -1);
  DatasInfo info(runtime_);
  Recordset groups = info.GetNormalFuncGroup(Dsn(30, "en"));
  ASSERT_EQ(groups.RecordCount(), 1);
  int32_t group = groups.Value("FFuncGroupID").AsLong();
  EXPECT_EQ(info.GetNormalFunc(Dsn(30), group).RecordCount(), 1);
  Recordset detail = info.GetDetailNormalFunc(Dsn(30, "en"), group);
  ASSERT_EQ(detail.RecordCount(), 1);
  EXPECT_EQ(detail.Value("FShowName").AsString(), "My entry");

  std::string by_favourite = "FAV'1";
  Recordset found = info.GetHelpCodeInfo(Dsn(30), by_favourite);
  ASSERT_FALSE(found.Eof());
  EXPECT_EQ(found.Value("FOrderIndex").AsLong(), 3);
  EXPECT_EQ(found.Value("FDetailFuncID").AsLong(), 10010101);
  std::string by_own = "own1";
  found = info.GetHelpCodeInfo(Dsn(30), by_own);
  ASSERT_FALSE(found.Eof());
  EXPECT_EQ(found.Value("FOrderIndex").AsLong(), 6);

  update_.AddNormalItem(Dsn(31), 10010101, "x", "y", "z", -1);
  update_.ClearNormalList(Dsn(30));
  EXPECT_TRUE(info.GetNormalFunc(Dsn(30), group).Eof());
  EXPECT_EQ(Items(31), 1);
}

}  // namespace
}  // namespace lxm
