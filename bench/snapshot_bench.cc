// Snapshot reads: clsDataInfo::GetTemplate (built afresh, and from the
// snapshot cache) and GetUserData on the demo account and on a synthetic tree
// of 20,000 detail functions.
//
//   build/snapshot_bench [--benchmark_filter=...]
//
// The databases are created in a temporary folder at start-up.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_account.h"
#include "tree/account_setup.h"
#include "tree/cls_data_info.h"

namespace lxm {
namespace {

struct Accounts {
  bench::BenchAccount demo{"bench_demo", bench::Demo()};
  bench::BenchAccount synthetic{"bench_synthetic", bench::Synthetic("5,10,20,20")};
};

Accounts& TheAccounts() {
  static Accounts accounts;
  return accounts;
}

// `cold` empties the cache before each call, so the snapshot is built afresh.
void BM_GetTemplate(benchmark::State& state, bool synthetic, bool cold) {
  const std::string& path = synthetic ? TheAccounts().synthetic.path : TheAccounts().demo.path;
  std::string dsn = MakeDescriptor(path, synthetic ? 20001 : 16394, "en");
  clsDataInfo info;
  int64_t rows = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      Runtime::Default().cache_store().Clear();
      state.ResumeTiming();
    }
    auto snapshot = info.GetTemplate(dsn);
    rows = snapshot->Item("DetailFunc").AsRecordset()->RecordCount();
    benchmark::DoNotOptimize(snapshot);
  }
  state.counters["detail_rows"] = static_cast<double>(rows);
  state.counters["calls_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

void BM_GetUserData(benchmark::State& state, bool synthetic) {
  const std::string& path = synthetic ? TheAccounts().synthetic.path : TheAccounts().demo.path;
  std::string dsn = MakeDescriptor(path, synthetic ? 20001 : 16394, "en");
  clsDataInfo info;
  for (auto _ : state) {
    auto snapshot = info.GetUserData(dsn);
    benchmark::DoNotOptimize(snapshot);
  }
  state.counters["calls_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_GetTemplate, demo_cold, false, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetTemplate, demo_warm, false, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetTemplate, synthetic_20k_cold, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GetTemplate, synthetic_20k_warm, true, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetUserData, demo, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetUserData, synthetic_20k, true)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
