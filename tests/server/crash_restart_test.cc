// The server killed (SIGKILL) in the middle of a burst of writes: the
// database it leaves is consistent, keeps every write it reported as done,
// and the next server serves it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <atomic>
#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/http_client.h"
#include "test_support/account_fixture.h"
#include "test_support/cli_process.h"

namespace lxm {
namespace {

using Json = nlohmann::json;

constexpr int32_t kUser = 16394;
constexpr int32_t kSubFunc = 100101;   // its detail functions are rewritten as one batch
constexpr int kBatchSize = 12;
constexpr int32_t kFavouriteBase = 70000000;

class CrashRestartTest : public test::AccountTest {
 protected:
  void SetUp() override {
    demo_ = true;
    AccountTest::SetUp();
  }

  std::vector<std::string> ServeArgs() const {
    std::vector<std::string> args = CliArgs();
    args.insert(args.end(), {"--workers", "4"});
    return args;
  }

  // Status 0 when the server went away before it replied.
  static server::HttpReply Call(const test::ServeProcess& host, const std::string& method, const Json& args) {
    return server::PostCall(host.url(), method, args.dump());
  }

  // The template's detail functions of kSubFunc replaced by batch `batch`.
  static Json Batch(int batch) {
    Json items = Json::array();
    for (int i = 0; i < kBatchSize; ++i) {
      std::string name = "b" + std::to_string(batch) + " i" + std::to_string(i);
      items.push_back({{"FFuncName", name}, {"FFuncName_EN", name}, {"FHelpCode", "B" + std::to_string(i)}});
    }
    return items;
  }

  // What the database says about one round; empty when it is consistent.
  std::vector<std::string> Inconsistencies(int last_batch_done, int last_rename_done,
                                           const std::set<int32_t>& favourites_done) {
    std::vector<std::string> found;
    if (!test::OnPostgres()) {
      std::string integrity = Scalar("PRAGMA integrity_check").AsString();
      if (integrity != "ok") found.push_back("integrity_check: " + integrity);
    }
    if (int64_t twice = Scalar("SELECT COUNT(*) FROM (SELECT Lower(FName) AS FKey FROM t_DataFlowTimeStamp "
                               "GROUP BY Lower(FName) HAVING COUNT(*) > 1) AS t")
                            .AsLong();
        twice != 0) {
      found.push_back(std::to_string(twice) + " stamp names with more than one row");
    }
    // One batch whole: all its rows and nothing of another.
    Recordset rows = Query("SELECT FFuncName FROM t_DataFlowDetailFunc WHERE FSubFuncID = ?", {Variant(kSubFunc)});
    std::set<std::string> batches;
    int count = 0;
    for (; !rows.Eof(); rows.MoveNext(), ++count) {
      std::string name = rows.Value(size_t{0}).AsString();
      batches.insert(name.substr(0, name.find(' ')));
    }
    if (last_batch_done >= 0) {
      if (batches.size() != 1 || count != kBatchSize) {
        found.push_back("sub-function rows from " + std::to_string(batches.size()) + " batches, " +
                        std::to_string(count) + " rows");
      } else if (int batch = std::atoi(batches.begin()->c_str() + 1); batch < last_batch_done) {
        found.push_back("batch " + std::to_string(last_batch_done) + " was reported done; batch " +
                        std::to_string(batch) + " is there");
      }
    }
    if (last_rename_done >= 0) {
      std::string name = Scalar("SELECT FTopClassName FROM t_DataFlowTopClass WHERE FTopClassID = 1").AsString();
      if (name.rfind("Crash ", 0) != 0 || std::atoi(name.c_str() + 6) < last_rename_done) {
        found.push_back("rename " + std::to_string(last_rename_done) + " was reported done; the name is " + name);
      }
    }
    for (int32_t function : favourites_done) {
      if (Scalar("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = ? AND FDetailFuncID = ?",
                 {Variant(kUser), Variant(function)})
              .AsLong() != 1) {
        found.push_back("favourite " + std::to_string(function) + " was reported added and is missing");
      }
    }
    return found;
  }
};

TEST_F(CrashRestartTest, AKilledServerLeavesAConsistentDatabaseThatTheNextOneServes) {
  constexpr int kRounds = 4;
  const std::string dsn = Dsn(kUser, "en");
  std::mt19937 random(20261209);
  std::atomic<int> next_batch{0}, next_rename{0}, next_favourite{0};
  int last_batch_done = -1, last_rename_done = -1;
  std::set<int32_t> favourites_done;
  int inconsistent_rounds = 0;

  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    test::ServeProcess host(ServeArgs());
    ASSERT_FALSE(host.url().empty()) << host.output();
    std::atomic<bool> stop{false};
    std::mutex done_mutex;
    // Each writer notes what the server reported as done.
    auto writer = [&](int kind) {
      while (!stop) {
        if (kind == 0) {
          int batch = next_batch++;
          server::HttpReply reply = Call(host, "LXMDataFlow.DatasUpdate/RefreshDetailFunc",
                                         Json::array({dsn, kSubFunc, Batch(batch), true, true}));
          std::lock_guard<std::mutex> lock(done_mutex);
          if (reply.status == 200) last_batch_done = std::max(last_batch_done, batch);
        } else if (kind == 1) {
          int rename = next_rename++;
          server::HttpReply reply = Call(host, "LXMDataFlow.DatasUpdate/UpdateTopClassName",
                                         Json::array({dsn, 1, "Crash " + std::to_string(rename)}));
          std::lock_guard<std::mutex> lock(done_mutex);
          if (reply.status == 200) last_rename_done = std::max(last_rename_done, rename);
        } else {
          int32_t function = kFavouriteBase + next_favourite++;
          server::HttpReply reply = Call(host, "LXMDataFlow.DatasUpdate/AddNormalItem",
                                         Json::array({dsn, function, "H", "shown", "name", -1}));
          std::lock_guard<std::mutex> lock(done_mutex);
          if (reply.status == 200) favourites_done.insert(function);
        }
      }
    };
    std::vector<std::thread> writers;
    // One writer of each numbered kind, so that a later number commits later.
    for (int kind : {0, 1, 2, 2}) writers.emplace_back(writer, kind);
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 350));
    host.Kill();
    stop = true;
    for (std::thread& thread : writers) thread.join();

    std::vector<std::string> found = Inconsistencies(last_batch_done, last_rename_done, favourites_done);
    for (const std::string& each : found) ADD_FAILURE() << each;
    if (!found.empty()) ++inconsistent_rounds;

    // The next server serves the same database, reads and writes.
    test::ServeProcess next(ServeArgs());
    ASSERT_FALSE(next.url().empty()) << next.output();
    server::HttpReply listed = Call(next, "LXMDataFlow.DatasInfo/GetSubFunc", Json::array({dsn, 1001}));
    EXPECT_EQ(listed.status, 200) << listed.body;
    server::HttpReply written =
        Call(next, "LXMDataFlow.DatasUpdate/UpdateTopClassName", Json::array({dsn, 1, "Crash " + std::to_string(next_rename++)}));
    EXPECT_EQ(written.status, 200) << written.body;
    if (written.status == 200) last_rename_done = next_rename - 1;
  }
  // Kills that found nothing written would prove nothing.
  EXPECT_GE(last_batch_done, kRounds);
  EXPECT_GE(favourites_done.size(), static_cast<size_t>(kRounds));
  std::printf("crash-restart rounds: %d, inconsistent: %d; batches done %d, renames %d, favourites %zu\n", kRounds,
              inconsistent_rounds, last_batch_done + 1, last_rename_done + 1, favourites_done.size());
}

}  // namespace
}  // namespace lxm
