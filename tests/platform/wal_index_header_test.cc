// The lock-free look at a database's shared WAL-index header: it must move
// with every commit, from any connection, and with nothing else, since a
// handle trusts what it knows of the content while it reads the same.
#include "platform/db/wal_index_header.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/sqlite_connection.h"
#include "test_support/account_fixture.h"

namespace lxm {
namespace {

class WalIndexHeaderTest : public test::AccountTest {
 protected:
  sqlite3* Open(const std::string& path) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    opened_.push_back(db);
    return db;
  }
  void TearDown() override {
    for (sqlite3* db : opened_) sqlite3_close(db);
  }
  static void Run(sqlite3* db, const char* sql) {
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  }

  std::vector<sqlite3*> opened_;
};

TEST_F(WalIndexHeaderTest, MovesWithEveryCommitAndWithNothingElse) {
  GTEST_SKIP_IF_ONLY_SQLITE();
  sqlite3* mine = Open(path_);
  sqlite3* other = Open(path_);
  Run(mine, "Insert Into t_DataFlowTimeStamp(FName) Values ('DataFlow7')");
  std::optional<WalIndexHeader> last = ReadWalIndexHeader(mine);
  ASSERT_TRUE(last.has_value());

  struct Step {
    const char* what;
    sqlite3* db;
    const char* sql;
    bool moves;
  };
  const Step steps[] = {
      {"a read of its own", mine, "Select * From t_DataFlowTimeStamp", false},
      {"a read elsewhere", other, "Select * From t_DataFlowTimeStamp", false},
      {"a commit elsewhere", other, "Update t_DataFlowTimeStamp Set FName = FName", true},
      {"a commit of its own", mine, "Update t_DataFlowTimeStamp Set FName = FName", true},
      {"a rolled-back write", other,
       "Begin Immediate; Update t_DataFlowTimeStamp Set FName = FName; Rollback", false},
      {"a checkpoint emptying the log", other, "PRAGMA wal_checkpoint(TRUNCATE)", true},
      {"the first commit after it", mine, "Update t_DataFlowTimeStamp Set FName = FName", true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Run(step.db, step.sql);
    std::optional<WalIndexHeader> now = ReadWalIndexHeader(mine);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(*now != *last, step.moves);
    last = now;
  }
}

// Without a log there is no header: a handle goes on asking SQLite, sees
// every commit, and opens no index beside the database.
TEST_F(WalIndexHeaderTest, AHandleWithoutALogAsksSQLiteEveryTime) {
  GTEST_SKIP_IF_ONLY_SQLITE();
  std::string path = (std::filesystem::path(path_).parent_path() / "journal.db").string();
  sqlite3* other = Open(path);
  Run(other, "PRAGMA journal_mode=DELETE; Create Table t(a)");
  std::unique_ptr<SQLiteConnection> mine = SQLiteConnection::Open(path, false, 1000);
  std::optional<uint64_t> last = mine->ContentVersion();
  ASSERT_TRUE(last.has_value());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(mine->ContentVersion(), last);
    Run(other, "Insert Into t Values (1)");
    std::optional<uint64_t> now = mine->ContentVersion();
    EXPECT_NE(now, last);
    last = now;
  }
  EXPECT_FALSE(std::filesystem::exists(path + "-shm"));
}

}  // namespace
}  // namespace lxm
