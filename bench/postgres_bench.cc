// The same calls on SQLite and on PostgreSQL, side by side, against the
// floor of one prepared PostgreSQL round trip measured in the same run.
//
//   LXM_BENCH_PG='Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...' build/postgres_bench
//
// LXM_BENCH_PG names a database on the server whose user may create
// databases; the benchmark makes a demo account in a database of its own
// there (dropped at the end) and one in an SQLite file. bench/postgres_load.sh
// starts a throwaway server and runs this. Times are wall-clock times (a
// PostgreSQL call mostly waits for the server); the ratios are printed after
// the table.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_account.h"
#include "bench/floor_ratio.h"
#include "info/datas_info.h"
#include "platform/db/connect_string.h"
#include "platform/db/postgres_connection.h"
#include "tree/cls_data_info.h"
#include "tree/postgres_account.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

constexpr int32_t kUser = 16394;

std::string ServerConnectString() {
  const char* text = std::getenv("LXM_BENCH_PG");
  if (text == nullptr || *text == '\0') {
    std::fprintf(stderr, "Set LXM_BENCH_PG to a PostgreSQL connect string (bench/postgres_load.sh does).\n");
    std::exit(2);
  }
  return text;
}

// The demo account in a database of its own on the server.
struct PostgresAccount {
  PostgresAccount() {
    ConnectString server = ParseConnectString(ServerConnectString());
    database = "lxm_bench_" + std::to_string(::getpid());
    PostgresConnection::Open(server, 10000)->ExecuteScript("CREATE DATABASE " + database);
    connect_string = "Provider=PostgreSQL;Host=" + server.Get("Host") + ";Port=" + server.Get("Port") +
                     ";Database=" + database + ";User ID=" + server.Get("User ID");
    if (!server.Get("Password").empty()) connect_string += ";Password=" + server.Get("Password");
    CreatePostgresAccount(runtime, connect_string, bench::Demo());
  }
  ~PostgresAccount() {
    runtime.databases().Clear();
    try {
      PostgresConnection::Open(ParseConnectString(ServerConnectString()), 10000)
          ->ExecuteScript("DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
  }
  std::string Descriptor(const std::string& language = "en") const {
    return DescriptorFor(connect_string, kUser, language);
  }

  std::string database;
  std::string connect_string;
  Runtime runtime;
};

PostgresAccount& ThePostgresAccount() {
  static PostgresAccount account;
  return account;
}

bench::BenchAccount& TheSQLiteAccount() {
  static bench::BenchAccount account("postgres_bench", bench::Demo());
  return account;
}

void Rate(benchmark::State& state) {
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The floor: one prepared point read of a stamp row on a pooled handle.
constexpr std::string_view kFloorStatement = "SELECT FTimeStamp FROM t_DataFlowTimeStamp WHERE FName = ?";

void BM_Floor_PgRoundTrip(benchmark::State& state) {
  PostgresAccount& account = ThePostgresAccount();
  Database::Lease lease = account.runtime.databases().Get(account.connect_string)->Acquire();
  Params name{Variant("DataFlow")};
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        lease->Query(kFloorStatement, name).RecordCount());
  }
  Rate(state);
}
BENCHMARK(BM_Floor_PgRoundTrip)->UseRealTime();



template <typename Call>
void Calls(benchmark::State& state, Runtime& runtime, const std::string& dsn, Call call) {
  call(runtime, dsn);  // warm
  for (auto _ : state) call(runtime, dsn);
  Rate(state);
}

void WarmGetSubSystem(Runtime& runtime, const std::string& dsn) {
  int32_t top_class = 1;
  benchmark::DoNotOptimize(DatasInfo(runtime).GetSubSystem(dsn, top_class).RecordCount());
}

// Not a floor: the statement a warm call sends (both stamps), alone on a
// handle, to tell the server's share from the call's.
void BM_Pg_StampPairAlone(benchmark::State& state) {
  PostgresAccount& account = ThePostgresAccount();
  WarmGetSubSystem(account.runtime, account.Descriptor());  // creates the stamp rows
  Database::Lease lease = account.runtime.databases().Get(account.connect_string)->Acquire();
  Params names{Variant("DataFlow"), Variant("DataFlow" + std::to_string(kUser))};
  for (auto _ : state) {
    benchmark::DoNotOptimize(lease
                                 ->Query("Select 0 As FWhich, FTimeStamp From t_DataFlowTimeStamp Where FName = ? "
                                         "Union All Select 1, FTimeStamp From t_DataFlowTimeStamp Where FName = ?",
                                         names)
                                 .RecordCount());
  }
  Rate(state);
}
BENCHMARK(BM_Pg_StampPairAlone)->UseRealTime();

// Stamp rows of `count` other users, as a site of that many users has.
void OtherUsersStamps(PostgresAccount& account, int64_t count) {
  Database::Lease lease = account.runtime.databases().Get(account.connect_string)->Acquire();
  for (int64_t user = 1; user <= count; ++user) {
    std::string name = "DataFlow" + std::to_string(user);
    lease->Execute("INSERT INTO t_DataFlowTimeStamp (FName) SELECT ? WHERE NOT EXISTS "
                   "(SELECT 1 FROM t_DataFlowTimeStamp WHERE FName = ?)",
                   {Variant(name), Variant(name)});
  }
  lease->ExecuteScript("ANALYZE t_DataFlowTimeStamp");
}

// The warm call and the floor taken in turn, each timed on its own, so that
// both meet the same state of the machine (a round trip here varies by 2x
// from one second to the next). The floor reads the template's stamp row,
// which the warm-up created. The time reported is the call's; "floor_us"
// and "x_floor" give the floor and the ratio of the sums. The argument is
// the number of other users with a stamp row (the table the call reads).
template <typename Call>
void BesideFloor(benchmark::State& state, Call call) {
  PostgresAccount& account = ThePostgresAccount();
  OtherUsersStamps(account, state.range(0));
  const std::string dsn = account.Descriptor();
  call(account.runtime, dsn);
  Database& database = *account.runtime.databases().Get(account.connect_string);
  Params name{Variant("DataFlow")};
  using Clock = std::chrono::steady_clock;
  Clock::duration floor_total{}, call_total{};
  for (auto _ : state) {
    Clock::time_point start, middle;
    {
      // Handed back before the call, which then takes the same handle: the
      // same server process, wherever the scheduler put it.
      Database::Lease lease = database.Acquire();
      start = Clock::now();
      if (lease->Query(kFloorStatement, name).RecordCount() != 1) {
        state.SkipWithError("the template's stamp row is missing");
        break;
      }
      middle = Clock::now();
    }
    Clock::time_point called = Clock::now();
    call(account.runtime, dsn);
    Clock::time_point end = Clock::now();
    floor_total += middle - start;
    call_total += end - called;
    state.SetIterationTime(std::chrono::duration<double>(end - called).count());

  }
  const double iterations = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["floor_us"] = std::chrono::duration<double, std::micro>(floor_total).count() / iterations;
  state.counters["x_floor"] = floor_total.count() > 0
                                  ? static_cast<double>(call_total.count()) / static_cast<double>(floor_total.count())
                                  : 0.0;
}

void WarmGetTemplateVer(Runtime& runtime, const std::string& dsn) {
  benchmark::DoNotOptimize(clsDataInfo(runtime).GetTemplateVer(dsn).size());
}

// A user's rename of a subsystem in the overlay, then the listing that
// shows it (read again, as its stamp moved).
void WriteThenRead(Runtime& runtime, const std::string& dsn) {
  static int round = 0;
  DatasUpdate(runtime).UpdateSystemFunc(
      dsn, 1001, [] {
        auto values = Dictionary::Create();
        values->Set("NewName", Variant("Ledger " + std::to_string(++round)));
        return values;
      }());
  WarmGetSubSystem(runtime, dsn);
}

void BM_Pg_WarmGetSubSystem(benchmark::State& state) {
  Calls(state, ThePostgresAccount().runtime, ThePostgresAccount().Descriptor(), WarmGetSubSystem);
}
void BM_SQLite_WarmGetSubSystem(benchmark::State& state) {
  Calls(state, TheSQLiteAccount().runtime, TheSQLiteAccount().Descriptor(kUser, "en"), WarmGetSubSystem);
}
void BM_Pg_WarmGetTemplateVer(benchmark::State& state) {
  Calls(state, ThePostgresAccount().runtime, ThePostgresAccount().Descriptor(), WarmGetTemplateVer);
}
void BM_SQLite_WarmGetTemplateVer(benchmark::State& state) {
  Calls(state, TheSQLiteAccount().runtime, TheSQLiteAccount().Descriptor(kUser, "en"), WarmGetTemplateVer);
}
void BM_Pg_WriteThenRead(benchmark::State& state) {
  Calls(state, ThePostgresAccount().runtime, ThePostgresAccount().Descriptor(), WriteThenRead);
}
void BM_SQLite_WriteThenRead(benchmark::State& state) {
  Calls(state, TheSQLiteAccount().runtime, TheSQLiteAccount().Descriptor(kUser, "en"), WriteThenRead);
}
// Named apart from BM_Pg_Warm*: their ratio is the "x_floor" column, not the
// floor benchmark's time taken at another moment.
void BM_PgBesideFloor_WarmGetSubSystem(benchmark::State& state) { BesideFloor(state, WarmGetSubSystem); }
void BM_PgBesideFloor_WarmGetTemplateVer(benchmark::State& state) { BesideFloor(state, WarmGetTemplateVer); }
BENCHMARK(BM_PgBesideFloor_WarmGetSubSystem)->Arg(0)->Arg(100)->Arg(300)->UseManualTime();
BENCHMARK(BM_PgBesideFloor_WarmGetTemplateVer)->Arg(0)->Arg(100)->Arg(300)->UseManualTime();
BENCHMARK(BM_Pg_WarmGetSubSystem)->UseRealTime();
BENCHMARK(BM_SQLite_WarmGetSubSystem)->UseRealTime();
BENCHMARK(BM_Pg_WarmGetTemplateVer)->UseRealTime();
BENCHMARK(BM_SQLite_WarmGetTemplateVer)->UseRealTime();
BENCHMARK(BM_Pg_WriteThenRead)->UseRealTime();
BENCHMARK(BM_SQLite_WriteThenRead)->UseRealTime();

}  // namespace
}  // namespace lxm

int main(int argc, char** argv) {
  return lxm::bench::RunWithFloors(argc, argv, {{"BM_Pg_Warm", "BM_Floor_PgRoundTrip"}});
}
