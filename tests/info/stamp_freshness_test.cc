// Warm calls answer from stamps remembered with the pooled connection: a
// commit made anywhere else must be seen by the very next call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "info/datas_info.h"
#include "test_support/account_fixture.h"
#include "test_support/cli_process.h"
#include "tree/cls_data_info.h"

namespace lxm {
namespace {

// Renames subsystem 1001 in the template and in user 5's overlay and moves
// both stamps, in one transaction, as every writer does.
std::string RenameStatements(const std::string& name) {
  return "UPDATE t_DataFlowSubSystem SET FName = '" + name + "' WHERE FSubSysID = 1001; " +
         "UPDATE t_UserSubSystem SET FName = '" + name + "' WHERE FSubSysID = 1001 AND FUserID = 5; " +
         "UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName IN ('DataFlow', 'DataFlow5');";
}
std::string RenameScript(const std::string& name) { return "BEGIN; " + RenameStatements(name) + " COMMIT;"; }

class StampFreshnessTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, FSubID) "
         "VALUES (1001, 1, 'start', 'a', 'a', 10, 'GL')");
    Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, "
         "FVisible, FAcctType) VALUES (1001, 5, 1, 'start', 'a', 'a', 10, 1, '')");
  }

  // What every reader of user 5 shows for subsystem 1001 (in Chinese, the language the writers rename), all
  // of which must agree.
  std::string SeenName() {
    int32_t id = 0;
    Recordset own = info_.GetSubSystem(Dsn(5), id);
    auto snapshot = data_info_.GetTemplate(Dsn(5));
    Recordset templ = *snapshot->Item("SubSystem").AsRecordset();
    EXPECT_EQ(snapshot->Item("TimeStamp").AsString(), data_info_.GetTemplateVer(Dsn(5)));
    std::string own_name = own.Filter("FSubSysID", Variant(1001)).Value("FName").AsString();
    std::string template_name = templ.Filter("FSubSysID", Variant(1001)).Value("FName").AsString();
    EXPECT_EQ(own_name, template_name);
    return own_name;
  }

  DatasInfo info_{runtime_};
  clsDataInfo data_info_{runtime_};
};

TEST_F(StampFreshnessTest, ACommitFromAnywhereIsSeenByTheNextCall) {
  struct Committer {
    std::string name;
    std::function<void(const std::string& new_name)> commit;
  };
  const Committer committers[] = {
      {"the database's own client",
       [&](const std::string& new_name) {
         std::string command = test::ClientCommand(connect_string_, RenameScript(new_name));
         ASSERT_EQ(std::system(command.c_str()), 0) << command;
       }},
      {"another lxmdataflow process",
       [&](const std::string& new_name) {
         std::vector<std::string> args = {"call", "LXMDataFlow.DatasUpdate", "UpdateSystemFuncName"};
         for (const std::string& arg : CliArgs()) args.push_back(arg);
         for (const char* arg : {"--user", "5", "--lang", "en", "1001"}) args.push_back(arg);
         args.push_back(new_name);
         test::CliResult result = test::RunCli(args);
         ASSERT_EQ(result.exit_code, 0) << result.output;
         // It renames the template; the overlay's row through the client.
         std::string command = test::ClientCommand(
             connect_string_, "BEGIN; UPDATE t_UserSubSystem SET FName = '" + new_name +
                                  "' WHERE FSubSysID = 1001 AND FUserID = 5; UPDATE t_DataFlowTimeStamp "
                                  "SET FName = FName WHERE FName = 'DataFlow5'; COMMIT;");
         ASSERT_EQ(std::system(command.c_str()), 0) << command;
       }},
      {"another connection of this process",
       [&](const std::string& new_name) {
         auto other = test::OpenOutsidePool(connect_string_, 5000);
         other->ExecuteScript(RenameScript(new_name));
       }},
      {"a call of this process",
       [&](const std::string& new_name) {
         RunInCallScope(runtime_, true, [&] {
           CallScope::Current()->TransactionFor(connect_string_).ExecuteScript(RenameStatements(new_name));
         });
       }},
  };
  int round = 0;
  for (const Committer& committer : committers) {
    SCOPED_TRACE(committer.name);
    std::string before = SeenName();
    SeenName();  // warm: the stamps are remembered now
    std::string renamed = "renamed " + std::to_string(++round);
    committer.commit(renamed);
    EXPECT_EQ(SeenName(), renamed) << "was " << before;
  }
}

// A call that wrote keeps nothing of what it read, and its rollback leaves
// the remembered stamps true.
TEST_F(StampFreshnessTest, ARolledBackWriteLeavesNothingBehind) {
  std::string stamp = data_info_.GetTemplateVer(Dsn(5));
  EXPECT_THROW(RunInCallScope(runtime_, true,
                              [&] {
                                Transaction& txn = CallScope::Current()->TransactionFor(connect_string_);
                                txn.Execute("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = 'DataFlow'");
                                // Read inside the write: must not be remembered.
                                EXPECT_NE(data_info_.GetTemplateVer(Dsn(5)), stamp);
                                GetObjectContext().SetAbort();
                                throw std::runtime_error("abandon");
                              }),
               std::runtime_error);
  EXPECT_EQ(data_info_.GetTemplateVer(Dsn(5)), stamp);
  EXPECT_EQ(SeenName(), "start");
}

// Stamps come from a counter that a rollback takes back, so the next commit
// may carry the very stamps a rolled-back call saw: nothing read in such a
// call may be kept under them.
TEST_F(StampFreshnessTest, LevelsReadInARolledBackWriteAreNotKeptForItsStamps) {
  EXPECT_EQ(SeenName(), "start");
  std::string stamp = data_info_.GetTemplateVer(Dsn(5));
  EXPECT_THROW(RunInCallScope(runtime_, true,
                              [&] {
                                CallScope::Current()->TransactionFor(connect_string_).ExecuteScript(
                                    RenameStatements("rolled back"));
                                EXPECT_EQ(SeenName(), "rolled back");
                                GetObjectContext().SetAbort();
                                throw std::runtime_error("abandon");
                              }),
               std::runtime_error);
  // The same stamps again, on the old content.
  Exec("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName IN ('DataFlow', 'DataFlow5')");
  EXPECT_NE(data_info_.GetTemplateVer(Dsn(5)), stamp);
  EXPECT_EQ(SeenName(), "start");
}

// The first reads of new users, many at once through one pool and through
// another process's pool: each user gets one stamp row and every read an
// answer.
TEST_F(StampFreshnessTest, FirstReadsOfNewUsersAtOnceEachMakeOneStampRow) {
  constexpr int kUsers = 6;
  Runtime other_process;
  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t) {
    readers.emplace_back([&, t] {
      clsDataInfo reader(t % 2 == 0 ? runtime_ : other_process);
      for (int user = 100; user < 100 + kUsers; ++user) {
        try {
          if (reader.GetUserTemplateVer(Dsn(user)).empty()) ++failures;
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++failures;
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowTimeStamp WHERE FName LIKE 'DataFlow1__'").AsLong(), kUsers);
}

}  // namespace
}  // namespace lxm
