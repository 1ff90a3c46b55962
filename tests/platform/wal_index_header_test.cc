// The lock-free look at a database's shared WAL-index header: it must move
// with every commit, from any connection, and with nothing else, since a
// handle trusts what it knows of the content while it reads the same.
#include "platform/db/wal_index_header.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

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
  sqlite3* mine = Open(path_);
  sqlite3* other = Open(path_);
  // Nothing to look at before this handle has read the database once.
  EXPECT_FALSE(ReadWalIndexHeader(mine).has_value());
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

TEST_F(WalIndexHeaderTest, NothingWithoutAWriteAheadLog) {
  std::string path = (std::filesystem::path(path_).parent_path() / "journal.db").string();
  sqlite3* db = Open(path);
  Run(db, "PRAGMA journal_mode=DELETE; Create Table t(a); Insert Into t Values (1); Select * From t");
  EXPECT_FALSE(ReadWalIndexHeader(db).has_value());
}

}  // namespace
}  // namespace lxm
