// Listings through the level cache, against the floor of a warm read.
//
//   build/listing_bench
//
// On a synthetic tree of 20,000 detail functions. User 20001 carries its
// generated overlay; user 50000 has own rows for all 20,000 detail functions
// and user 50001 for 200 of them, so that a big and a small level can be
// compared. The floors, measured in the same run: one prepared point read
// of a stamp row through a pooled connection (what a warm call is compared
// with), the two such reads warm calls used to make, and the template
// snapshot's statements stepped with the SQLite API alone (what a cold
// GetTemplate is compared with). The ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "bench/bench_account.h"
#include "bench/floor_ratio.h"
#include "tree/snapshot_statements.h"
#include "info/datas_info.h"
#include "tree/cls_data_info.h"

namespace lxm {
namespace {

// User 50000 has own rows of 20,000 detail functions, user 50001 of 200.
void FillOverlays(Transaction& db) {
  const char* copy =
      "INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, "
      "FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable) "
      "SELECT FDetailFuncID, ?, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, "
      "FClassName, FClassParam, FVisible, FHelpCode, FEnable FROM t_DataFlowDetailFunc "
      "ORDER BY FDetailFuncID LIMIT ?";
  db.Execute(copy, {Variant(50000), Variant(20000)});
  db.Execute(copy, {Variant(50001), Variant(200)});
}

bench::BenchAccount& TheAccount() {
  static bench::BenchAccount account("listing_bench", bench::Synthetic("5,10,20,20"), FillOverlays);
  return account;
}

void Rate(benchmark::State& state) {
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The floor: the template and user stamp reads on a pooled connection with
// their statements prepared, nothing else.
void BM_Floor_TwoStampReads(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo warmup(account.runtime);
  int32_t id = 0;
  warmup.GetDetailFunc(account.Descriptor(50001, "en"), id);  // creates the stamp rows
  Database::Lease lease = account.runtime.databases().Get(account.connect_string)->Acquire();
  Params template_name{Variant("DataFlow")};
  Params user_name{Variant("DataFlow50001")};
  for (auto _ : state) {
    benchmark::DoNotOptimize(lease->Query(
        "Select FTimeStamp as lngTimeStamp From t_DataFlowTimeStamp Where FName = ?", template_name));
    benchmark::DoNotOptimize(lease->Query(
        "Select FTimeStamp as lngTimeStamp From t_DataFlowTimeStamp Where FName = ?", user_name));
  }
  Rate(state);
}

void BM_Floor_OnePointRead(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo warmup(account.runtime);
  int32_t id = 0;
  warmup.GetDetailFunc(account.Descriptor(50001, "en"), id);
  Database::Lease lease = account.runtime.databases().Get(account.connect_string)->Acquire();
  Params user_name{Variant("DataFlow50001")};
  for (auto _ : state) {
    benchmark::DoNotOptimize(lease->Query(
        "Select FTimeStamp as lngTimeStamp From t_DataFlowTimeStamp Where FName = ?", user_name));
  }
  Rate(state);
}

// Every row and column of the template snapshot's statements, stepped and
// read with the SQLite API, statements prepared once.
void BM_Floor_StepTemplateStatements(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  sqlite3* db = nullptr;
  sqlite3_open_v2(account.path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::vector<sqlite3_stmt*> statements;
  for (Level level : kTemplateLevels) {
    std::string sql = TemplateLevelStatement(level, "en", ColumnSet::kSnapshot);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    statements.push_back(statement);
  }
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (sqlite3_stmt* statement : statements) {
      int columns = sqlite3_column_count(statement);
      while (sqlite3_step(statement) == SQLITE_ROW) {
        ++rows;
        for (int c = 0; c < columns; ++c) {
          switch (sqlite3_column_type(statement, c)) {
            case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(statement, c)); break;
            case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(statement, c)); break;
            case SQLITE_TEXT: benchmark::DoNotOptimize(sqlite3_column_text(statement, c)); break;
            case SQLITE_BLOB: benchmark::DoNotOptimize(sqlite3_column_blob(statement, c)); break;
            default: break;
          }
        }
      }
      sqlite3_reset(statement);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  for (sqlite3_stmt* statement : statements) sqlite3_finalize(statement);
  sqlite3_close(db);
  state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
  Rate(state);
}

template <typename Call>
void Listing(benchmark::State& state, int32_t user, bool cold, Call call) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  std::string dsn = account.Descriptor(user, "en");
  int64_t rows = call(info, dsn).RecordCount();  // warms the cache
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      account.runtime.cache_store().Clear();
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(call(info, dsn));
  }
  state.counters["rows"] = static_cast<double>(rows);
  Rate(state);
}

Recordset DetailFunc(DatasInfo& info, const std::string& dsn) {
  int32_t id = 0;
  return info.GetDetailFunc(dsn, id);
}

void BM_Warm_GetTopClass(benchmark::State& state) {
  Listing(state, 20001, false, [](DatasInfo& info, const std::string& dsn) { return info.GetTopClass(dsn); });
}
void BM_Warm_GetSubSystem(benchmark::State& state) {
  Listing(state, 20001, false, [](DatasInfo& info, const std::string& dsn) {
    int32_t id = 0;
    return info.GetSubSystem(dsn, id);
  });
}
void BM_Warm_GetDetailFunc_200Rows(benchmark::State& state) { Listing(state, 50001, false, DetailFunc); }
void BM_Warm_GetDetailFunc_20000Rows(benchmark::State& state) { Listing(state, 50000, false, DetailFunc); }
void BM_Cold_GetDetailFunc_200Rows(benchmark::State& state) { Listing(state, 50001, true, DetailFunc); }
void BM_Cold_GetDetailFunc_20000Rows(benchmark::State& state) { Listing(state, 50000, true, DetailFunc); }

void BM_GetTemplate(benchmark::State& state, bool cold) {
  bench::BenchAccount& account = TheAccount();
  clsDataInfo info(account.runtime);
  std::string dsn = account.Descriptor(20001, "en");
  info.GetTemplate(dsn);
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      account.runtime.cache_store().Clear();
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(info.GetTemplate(dsn));
  }
  Rate(state);
}

void BM_Warm_GetTemplateVer(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  clsDataInfo info(account.runtime);
  std::string dsn = account.Descriptor(20001, "en");
  info.GetTemplateVer(dsn);
  for (auto _ : state) benchmark::DoNotOptimize(info.GetTemplateVer(dsn));
  Rate(state);
}

BENCHMARK(BM_Floor_OnePointRead);
BENCHMARK(BM_Floor_TwoStampReads);
BENCHMARK(BM_Floor_StepTemplateStatements)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Warm_GetTemplateVer);
BENCHMARK(BM_Warm_GetTopClass);
BENCHMARK(BM_Warm_GetSubSystem);
BENCHMARK(BM_Warm_GetDetailFunc_200Rows);
BENCHMARK(BM_Warm_GetDetailFunc_20000Rows);
BENCHMARK(BM_Cold_GetDetailFunc_200Rows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cold_GetDetailFunc_20000Rows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GetTemplate, warm, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetTemplate, cold, true)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lxm

int main(int argc, char** argv) {
  return lxm::bench::RunWithFloors(argc, argv,
                                   {{"BM_Warm_", "BM_Floor_OnePointRead"},
                                    {"BM_GetTemplate/warm", "BM_Floor_OnePointRead"},
                                    {"BM_GetTemplate/cold", "BM_Floor_StepTemplateStatements"}});
}
