// Readers and writers at once: no error, and no stale level served.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "info/datas_info.h"
#include "test_support/account_fixture.h"

namespace lxm {
namespace {

class ListingConcurrencyTest : public test::AccountTest {};

TEST_F(ListingConcurrencyTest, ReadsAfterACommittedEditSeeTheEdit) {
  constexpr int kUsers = 4;
  constexpr int kReaders = 8;
  constexpr int kWriters = 2;
  const auto kRunFor = std::chrono::seconds(3);
  for (int user = 1; user <= kUsers; ++user) {
    Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FName, FIndex) VALUES (1001, ?, '0', 10), "
         "(1002, ?, 'other', 20)", {Variant(user), Variant(user)});
  }
  // The stamp rows a site that has served these users holds. Without them
  // a reader's first call writes one, and the writer of another program
  // below, which takes the lock again the moment it commits, would keep it
  // waiting for SQLite's busy handler to find the lock free.
  Exec("INSERT INTO t_DataFlowTimeStamp (FName) VALUES ('DataFlow')");
  for (int user = 1; user <= kUsers; ++user) {
    Exec("INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)", {Variant("DataFlow" + std::to_string(user))});
  }
  // committed[u]: the newest version of user u's row known to be committed.
  std::vector<std::atomic<int>> committed(kUsers + 1);
  std::atomic<int> version{0};
  std::atomic<bool> stop{false};
  std::atomic<int> errors{0};
  std::atomic<int> stale{0};
  std::atomic<int> reads{0};

  std::vector<std::thread> threads;
  // The first writer goes through the service's pool, the second through a
  // connection of its own, as another program would.
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      std::unique_ptr<NativeConnection> own;
      if (w == 1) own = test::OpenOutsidePool(connect_string_, 30000);
      int i = 0;
      while (!stop) {
        int user = 1 + (i++ + w) % kUsers;
        int value = ++version;
        // Versions only grow per user: the writer holds the write lock.
        auto write = [&](auto execute) {
          execute("UPDATE t_UserSubSystem SET FName = ? WHERE FSubSysID = 1001 AND FUserID = ? "
                  "AND CAST(FName AS INTEGER) < ?",
                  Params{Variant(std::to_string(value)), Variant(user), Variant(value)});
          execute("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?",
                  Params{Variant("DataFlow" + std::to_string(user))});
        };
        try {
          if (own != nullptr) {
            own->Begin(true);
            write([&](const char* sql, const Params& params) { own->Execute(sql, params); });
            own->Commit();
          } else {
            RunInCallScope(runtime_, true, [&] {
              Transaction& txn = CallScope::Current()->TransactionFor(connect_string_);
              write([&](const char* sql, const Params& params) { txn.Execute(sql, params); });
            });
          }
          int seen = committed[static_cast<size_t>(user)].load();
          while (seen < value && !committed[static_cast<size_t>(user)].compare_exchange_weak(seen, value)) {
          }
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++errors;
          try {
            if (own != nullptr) own->Rollback();
          } catch (const std::exception&) {
            // No transaction was open.
          }
        }
      }
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&, r] {
      DatasInfo info(runtime_);
      int i = 0;
      while (!stop) {
        int user = 1 + (i++ + r) % kUsers;
        int floor = committed[static_cast<size_t>(user)].load();
        try {
          int32_t id = 0;
          Recordset rs = info.GetSubSystem(Dsn(user), id).Filter("FSubSysID", Variant(1001));
          if (rs.Eof() || std::stoi(rs.Value("FName").AsString()) < floor) ++stale;
          ++reads;
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++errors;
        }
      }
    });
  }
  std::this_thread::sleep_for(kRunFor);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(errors.load(), 0);
  EXPECT_EQ(stale.load(), 0);
  EXPECT_GT(reads.load(), 100);
  EXPECT_GT(version.load(), 10);
}

}  // namespace
}  // namespace lxm
