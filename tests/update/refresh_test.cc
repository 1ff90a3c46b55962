// The refresh of subsystems from their components, the enable flags and the
// base-data mark, as the database and the next readers see them.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tree/cls_data_info.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/refresh_component.h"
#include "platform/registry.h"
#include "test_support/database_dump.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

// What the fake components saw: the refresh dictionaries, in call order.
struct ComponentLog {
  std::mutex mutex;
  std::vector<std::shared_ptr<Dictionary>> calls;
};

// A subsystem component of this process: answers `lists` by "FSubSysID",
// handing back the dictionary `answers` holds for it if any; subsystem 1007
// fails, and for 1005 it asks for a detail refresh instead.
class FakeComponent : public RefreshComponent {
 public:
  FakeComponent(std::map<int32_t, std::shared_ptr<Vector>> lists,
                std::map<int32_t, std::shared_ptr<Dictionary>> answers, std::shared_ptr<ComponentLog> log)
      : lists_(std::move(lists)), answers_(std::move(answers)), log_(std::move(log)) {}

  Variant GetRefreshFunc(Variant& dictionary) override {
    std::shared_ptr<Dictionary> dict = dictionary.AsDictionary();
    {
      std::lock_guard<std::mutex> lock(log_->mutex);
      auto copy = Dictionary::Create();
      for (const auto& [key, value] : dict->entries()) copy->Set(key, value);
      log_->calls.push_back(copy);
    }
    int32_t id = dict->Item("FSubSysID").AsLong();
    if (id == 1007) throw ComError(5, "Fake.Component", "refused");
    if (id == 1005) {
      auto changed = Dictionary::Create();
      changed->Set("FRefreshType", Variant(3));
      changed->Set("FSubFuncID", Variant(100501));
      dictionary = Variant(changed);
    }
    if (auto answer = answers_.find(id); answer != answers_.end()) dictionary = Variant(answer->second);
    auto found = lists_.find(id);
    return found == lists_.end() ? Variant() : Variant(found->second);
  }

 private:
  std::map<int32_t, std::shared_ptr<Vector>> lists_;
  std::map<int32_t, std::shared_ptr<Dictionary>> answers_;
  std::shared_ptr<ComponentLog> log_;
};

class RefreshTest : public test::UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    // 1001 (the base tree's) is marked too but names no component.
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FClassName, FRefresh, FSubID) VALUES "
         "(1002, 1, 'A', 'Test.Refresh', 1, ''), (1003, 1, 'B', 'Test.Refresh', 1, 'GL,AR'), "
         "(1004, 1, 'C', 'Test.Refresh', 0, NULL), (1005, 1, 'D', 'Test.Refresh', 1, 'XX,AP'), "
         "(1006, 1, 'E', 'Test.Refresh', 1, '  '), (1007, 1, 'F', 'Test.Refresh', 1, NULL)");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName) VALUES "
         "(100201, 1002, 1, 'old'), (100301, 1003, 1, 'kept'), (100501, 1005, 1, 'detail host'), "
         "(100601, 1006, 1, 'old six')");
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName) VALUES "
         "(10020101, 100201, 1, 'old detail'), (10050101, 100501, 1, 'old detail')");
    Exec("INSERT INTO t_UserSubFunc (FSubFuncID, FUserID, FSubSysID, FIndex, FFuncName) VALUES "
         "(100201, 5, 1002, 1, 'mine'), (10000001, 5, 1002, 2, 'created by five'), (100201, 6, 1002, 1, 'six')");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName) VALUES "
         "(10020101, 5, 100201, 1, 'mine'), (10020101, 6, 100201, 1, 'six')");
    runtime_.components().Register(RegistryReader::kProgID, [] {
      return std::make_shared<RegistryReader>(RegistryData::Parse(
          R"({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\oxa\\InstallSys": {"GL": "0", "AR": "", "AP": 1}})", "test"));
    });
    lists_[1002] = List({Item("一", 100211), Item("二", 0)});
    lists_[1005] = List({Item("明细", 0)});
    lists_[1006] = List({Item("六", 0)});
    lists_[1007] = List({Item("never", 0)});
    RegisterComponent();
  }

  void RegisterComponent() {
    runtime_.components().Register("Test.Refresh", [this] { return std::make_shared<FakeComponent>(lists_, answers_, log_); });
  }

  static Variant Item(const std::string& name, int32_t id) {
    return Variant(Values({{"FSubFuncID", Variant(id)}, {"FFuncName", Variant(name)}, {"FVisible", Variant(true)}}));
  }
  static std::shared_ptr<Vector> List(std::initializer_list<Variant> items) {
    auto list = Vector::Create();
    for (const Variant& item : items) list->Append(item);
    return list;
  }
  // "ID:name:index" of a table's rows, in ID order.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    for (Recordset set = Query(sql); !set.Eof(); set.MoveNext()) {
      rows.push_back(CStr(set.Value(size_t{0})) + ":" + CStr(set.Value(size_t{1})) + ":" + CStr(set.Value(size_t{2})));
    }
    return rows;
  }
  std::vector<int32_t> SubsystemsCalled() {
    std::vector<int32_t> ids;
    for (const auto& call : log_->calls) ids.push_back(call->Item("FSubSysID").AsLong());
    return ids;
  }

  std::map<int32_t, std::shared_ptr<Vector>> lists_;
  std::map<int32_t, std::shared_ptr<Dictionary>> answers_;
  std::shared_ptr<ComponentLog> log_ = std::make_shared<ComponentLog>();
};

TEST_F(RefreshTest, RefreshActivFuncWalksTheMarkedSubsystemsWhoseModulesAreInstalled) {
  auto before = Stamps();
  update_.RefreshActivFunc(Dsn(5));

  // 1003's modules are not installed, 1004 is not marked; 1001's component
  // cannot be created and 1007's fails: both are skipped.
  EXPECT_EQ(SubsystemsCalled(), (std::vector<int32_t>{1002, 1005, 1006, 1007}));
  const Dictionary& first = *log_->calls.front();
  EXPECT_EQ(first.Item("FRefreshType"), Variant(2));
  EXPECT_EQ(first.Item("FClassName"), Variant("Test.Refresh"));
  EXPECT_EQ(first.Item("FName"), Variant("A"));

  EXPECT_EQ(Rows("SELECT FSubFuncID, FFuncName, FIndex FROM t_DataFlowSubFunc WHERE FSubSysID IN (1002, 1003, 1006) "
                 "ORDER BY FSubFuncID"),
            (std::vector<std::string>{"100202:二:2", "100211:一:1", "100301:kept:1", "100601:六:1"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = 100201"), 0);
  // 1005's component asked for the detail functions of 100501 instead.
  EXPECT_EQ(Rows("SELECT FDetailFuncID, FFuncName, FIndex FROM t_DataFlowDetailFunc WHERE FSubFuncID = 100501"),
            (std::vector<std::string>{"10050101:明细:1"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubFuncID IN (100701, 100101)"), 1);
  // Template refreshes touch the template's stamp only; users' overlay rows
  // are not the template's to clear.
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubFunc"), 3);
}

// What the dictionary a component hands back asks for: "DelAll" false is a
// visibility refresh, another refresh type nothing, and a missing key fails
// that subsystem alone (nothing written under a parent 0); the walk goes on.
TEST_F(RefreshTest, TheDictionaryHandedBackChoosesTheRefresh) {
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, Variant>> answer;
    std::string subsystem_1002;  // "ID:name:visible" of its sub-functions
  };
  const std::string untouched = "100201:old:1";
  const std::vector<Case> cases = {
      {"visibility", {{"FRefreshType", Variant(2)}, {"FSubSysID", Variant(1002)}, {"DelAll", Variant(false)}},
       "100201:old:0"},
      {"full", {{"FRefreshType", Variant(2)}, {"FSubSysID", Variant(1002)}}, "100201:hidden:0 100202:new:1"},
      {"other type", {{"FRefreshType", Variant(4)}, {"FSubSysID", Variant(1002)}}, untouched},
      {"no type", {{"FSubSysID", Variant(1002)}}, untouched},
      {"no subsystem", {{"FRefreshType", Variant(2)}}, untouched},
      {"no sub-function", {{"FRefreshType", Variant(3)}}, untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Exec("DELETE FROM t_DataFlowSubFunc WHERE FSubSysID IN (0, 1002, 1006)");
    Exec("DELETE FROM t_DataFlowDetailFunc WHERE FSubFuncID = 0");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FVisible) VALUES "
         "(100201, 1002, 1, 'old', 1)");
    lists_[1002] = List({Values({{"FSubFuncID", Variant(100201)}, {"FFuncName", Variant("hidden")},
                                 {"FVisible", Variant(false)}}),
                         Item("new", 0)});
    answers_[1002] = Dictionary::Create();
    for (const auto& [key, value] : c.answer) answers_[1002]->Set(key, value);
    RegisterComponent();
    update_.RefreshActivFunc(Dsn(5));

    std::string rows;
    for (const std::string& row :
         Rows("SELECT FSubFuncID, FFuncName, FVisible FROM t_DataFlowSubFunc WHERE FSubSysID = 1002 "
              "ORDER BY FSubFuncID")) {
      rows += (rows.empty() ? "" : " ") + row;
    }
    EXPECT_EQ(rows, c.subsystem_1002);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 0"), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = 0"), 0);
    EXPECT_EQ(Rows("SELECT FSubFuncID, FFuncName, FIndex FROM t_DataFlowSubFunc WHERE FSubSysID = 1006"),
              (std::vector<std::string>{"100601:六:1"}));
  }
}

TEST_F(RefreshTest, WhatARefreshWritesIsSeenByTheNextReadOfEveryUser) {
  clsDataInfo reader(runtime_);
  // "ID:visible" of subsystem 1002's sub-functions in a user's template.
  auto seen = [&](int user) {
    Recordset level = reader.GetTemplate(Dsn(user))->Item("SubFunc").AsRecordset()->Filter("FSubSysID", Variant(1002));
    std::vector<std::string> rows;
    for (; !level.Eof(); level.MoveNext()) {
      rows.push_back(CStr(level.Value("FSubFuncID")) + ":" + CStr(level.Value("FVisible")));
    }
    return rows;
  };
  const std::vector<int> users = {0, 6, 7};
  for (int user : users) ASSERT_EQ(seen(user), (std::vector<std::string>{"100201:1"}));  // now cached
  update_.RefreshActivFunc(Dsn(5));
  for (int user : users) EXPECT_EQ(seen(user), (std::vector<std::string>{"100211:1", "100202:1"})) << user;

  // Hidden by a visibility refresh made in the caller's overlay mode: the
  // template's row, and so everybody's.
  update_.RefreshSubFunc(Dsn(5), 1002, List({Values({{"FSubFuncID", Variant(100202)}, {"FVisible", Variant(false)}})}),
                         false, false);
  for (int user : users) EXPECT_EQ(seen(user), (std::vector<std::string>{"100211:1", "100202:0"})) << user;

  // An overlay refresh: the caller's next read of its own layout.
  ASSERT_EQ(reader.GetUserData(Dsn(5))->Item("SubFunc").AsRecordset()->RecordCount(), 2);
  update_.RefreshSubFunc(Dsn(5), 1002, List({Item("only mine", 100299)}), true, false);
  Recordset own = *reader.GetUserData(Dsn(5))->Item("SubFunc").AsRecordset();
  EXPECT_EQ(own.RecordCount(), 2);
  EXPECT_EQ(own.Filter("FSubFuncID", Variant(100299)).RecordCount(), 1);
}

TEST_F(RefreshTest, FullRefreshReplacesTheTemplateOrTheCallersRowsAndKeepsTheFirst99Items) {
  // The overlay: only the caller's rows of the template's functions, and
  // never the sub-functions the caller created.
  auto before = Stamps();
  update_.RefreshSubFunc(Dsn(5), 1002, List({Item("new mine", 100277)}), true, false);
  EXPECT_EQ(Rows("SELECT FSubFuncID, FFuncName, FUserID FROM t_UserSubFunc ORDER BY FUserID, FSubFuncID"),
            (std::vector<std::string>{"100277:new mine:5", "10000001:created by five:5", "100201:six:6"}));
  EXPECT_EQ(Rows("SELECT FDetailFuncID, FFuncName, FUserID FROM t_UserDetailFunc WHERE FSubFuncID = 100201"),
            (std::vector<std::string>{"10020101:six:6"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 1002"), 1);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));

  // The template: 120 items, of which the first 99 go in.
  auto many = Vector::Create();
  for (int i = 1; i <= 120; ++i) many->Append(Item("f" + std::to_string(i), 0));
  before = Stamps();
  update_.RefreshSubFunc(Dsn(5), 1002, many);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 1002"), 99);
  EXPECT_EQ(Row("SELECT MIN(FSubFuncID) AS lo, MAX(FSubFuncID) AS hi, MAX(FIndex) AS last FROM t_DataFlowSubFunc "
                "WHERE FSubSysID = 1002"),
            (std::map<std::string, std::string>{{"lo", "100201"}, {"hi", "100299"}, {"last", "99"}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FSubFuncID = 100201"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));

  // No list at all: the subsystem's functions go and nothing comes in.
  before = Stamps();
  update_.RefreshSubFunc(Dsn(5), 1002, nullptr);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 1002"), 0);
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
}

TEST_F(RefreshTest, AFailingStepIsSkippedAndTheRestKept) {
  // The second item takes an ID another subsystem has; the third is no
  // dictionary; the fourth is inserted all the same at position 4.
  update_.RefreshSubFunc(Dsn(5), 1002, List({Item("one", 0), Item("taken", 100301), Variant("junk"), Item("four", 0)}));
  EXPECT_EQ(Rows("SELECT FSubFuncID, FFuncName, FIndex FROM t_DataFlowSubFunc WHERE FSubSysID IN (1002, 1003) "
                 "ORDER BY FSubFuncID"),
            (std::vector<std::string>{"100201:one:1", "100204:four:4", "100301:kept:1"}));

  // A visibility refresh: each item with its own values, the template's rows
  // whatever the mode, and so the template's stamp too.
  auto before = Stamps();
  update_.RefreshSubFunc(Dsn(6), 1002,
                         List({Values({{"FSubFuncID", Variant(100201)}, {"FVisible", Variant(false)}}),
                               Values({{"FSubFuncID", Variant("100204")}}), Variant("junk"),
                               Values({{"FSubFuncID", Variant(100301)}, {"FVisible", Variant(0)}})}),
                         false, false);
  EXPECT_EQ(Rows("SELECT FSubFuncID, FVisible, FIndex FROM t_DataFlowSubFunc WHERE FSubSysID IN (1002, 1003) "
                 "ORDER BY FSubFuncID"),
            (std::vector<std::string>{"100201:0:1", "100204:1:4", "100301:0:1"}));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow", "DataFlow6"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubFunc WHERE FUserID = 6"), 1);

  // A descriptor that does not parse is the caller's to hear of.
  EXPECT_EQ(test::ErrorNumberOf([&] { update_.RefreshSubFunc(Dsn(5) + ";UserID=6", 1002, List({})); }),
            errors::kDuplicateKey);
}

TEST_F(RefreshTest, ReFreshStatusEnablesTheFunctionsWhoseTypeSharesABitWithTheStatus) {
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FFuncName, FFuncType, FEnable) VALUES "
       "(10030101, 100301, 'a', -1, 0), (10030102, 100301, 'b', 0, 1), (10030103, 100301, 'c', 1, 1), "
       "(10030104, 100301, 'd', 2, 0), (10030105, 100301, 'e', 4, 0), (10030106, 100301, 'f', 6, 0), "
       "(10030107, 100301, 'g', 8, 1), (10030201, 100302, 'other', 2, 0)");
  struct Case {
    int32_t status;
    std::string enabled;  // FEnable of 10030101 to 10030107, then of 10030201
  };
  for (const Case& c : {Case{6, "00011100"}, Case{0, "00000000"}, Case{-1, "00111110"}, Case{1, "00100000"}}) {
    int32_t sub_func = 100301;
    int32_t status = c.status;
    auto before = Stamps();
    update_.ReFreshStatus(Dsn(5), sub_func, status);
    std::string enabled;
    for (Recordset set = Query("SELECT FEnable FROM t_DataFlowDetailFunc WHERE FSubFuncID IN (100301, 100302) "
                               "ORDER BY FDetailFuncID");
         !set.Eof(); set.MoveNext()) {
      enabled += CStr(set.Value(size_t{0}));
    }
    EXPECT_EQ(enabled, c.enabled) << "status " << c.status;
    EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
    EXPECT_EQ(sub_func, 100301);
    EXPECT_EQ(status, c.status);
  }
}

TEST_F(RefreshTest, TheEnableAndBaseDataWritesMarkTheTemplateAndSwallowEveryFailure) {
  update_.UpdateSysBaseData(Dsn(5));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubSystem WHERE FUpdateBaseData <> 1"), 0);
  int32_t detail = 10020101;
  Exec("UPDATE t_DataFlowDetailFunc SET FEnable = 0");
  update_.UpdateFuncEnable(Dsn(5), detail);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FEnable = 1"), 1);

  // None of the four reports a failure, and none keeps anything of it: a
  // descriptor that does not parse, and a database that refuses the write.
  Exec("UPDATE t_DataFlowSubSystem SET FUpdateBaseData = 0");
  AddFault("refuse", "BEFORE UPDATE ON t_DataFlowTimeStamp", "no");
  const std::string before = test::DumpDatabase([&](const std::string& sql) { return Query(sql); });
  int32_t sub_func = 100301;
  int32_t status = 6;
  for (const std::string& dsn : {Dsn(5) + ";UserID=6", Dsn(5)}) {
    EXPECT_NO_THROW(update_.UpdateSysBaseData(dsn));
    EXPECT_NO_THROW(update_.UpdateFuncEnable(dsn, detail));
    EXPECT_NO_THROW(update_.ReFreshStatus(dsn, sub_func, status));
    EXPECT_NO_THROW(update_.RefreshActivFunc(dsn));
  }
  EXPECT_EQ(test::DumpDatabase([&](const std::string& sql) { return Query(sql); }), before);
}

// A component that, like a subsystem's program, writes through the service
// from elsewhere while it is asked.
class CallingBackComponent : public RefreshComponent {
 public:
  CallingBackComponent(Runtime* runtime, std::string dsn) : runtime_(runtime), dsn_(std::move(dsn)) {}
  Variant GetRefreshFunc(Variant&) override {
    std::thread other([&] {
      try {
        DatasUpdate(*runtime_).SetProfileValue(dsn_, "asked", "yes");
      } catch (const std::exception&) {
        // Seen as the missing row.
      }
    });
    other.join();
    return Variant();
  }

 private:
  Runtime* runtime_;
  std::string dsn_;
};

TEST_F(RefreshTest, ComponentsAreAskedBeforeTheWriteLockIsTaken) {
  Exec("UPDATE t_DataFlowSubSystem SET FClassName = 'Test.CallsBack' WHERE FSubSysID = 1006");
  runtime_.components().Register("Test.CallsBack",
                                 [this] { return std::make_shared<CallingBackComponent>(&runtime_, Dsn(7)); });
  update_.RefreshActivFunc(Dsn(5));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FUserID = 7 AND FName = 'asked'"), 1);
  // The others were refreshed all the same; 1006's empty list emptied it.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 1002"), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 1006"), 0);
}

TEST_F(RefreshTest, AModuleRegistryThatCannotBeReadEndsTheWalkWithNothingKept) {
  runtime_.components().Unregister(RegistryReader::kProgID);
  const std::string before = test::DumpDatabase([&](const std::string& sql) { return Query(sql); });
  EXPECT_NO_THROW(update_.RefreshActivFunc(Dsn(5)));
  // 1002 was refreshed before 1003's modules were looked up; it is undone.
  EXPECT_EQ(SubsystemsCalled(), (std::vector<int32_t>{1002}));
  EXPECT_EQ(test::DumpDatabase([&](const std::string& sql) { return Query(sql); }), before);
}

}  // namespace
}  // namespace lxm
