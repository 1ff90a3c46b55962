// A write followed by the listing that reads it, on the demo account: the
// road of one edit. Each iteration hides or shows a subsystem for one user
// (UpdateSystemFunc, overlay mode) and lists that user's subsystems
// (GetSubSystem), which must reload the user's levels for the moved stamp.
//
//   build/write_bench
//
// "Write only" and "listing only" give the two halves for comparison.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench_account.h"
#include "info/datas_info.h"
#include "platform/db/database.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

constexpr int32_t kUser = 16395;
constexpr int32_t kSubSystem = 1001;

bench::BenchAccount& TheAccount() {
  static bench::BenchAccount account("write_bench", bench::Demo());
  return account;
}

std::shared_ptr<Dictionary> HideOrShow(bool visible) {
  std::shared_ptr<Dictionary> dict = Dictionary::Create();
  dict->Set("Visible", Variant(visible));
  dict->Set("NewName", Variant("General ledger"));
  dict->Set("Index", Variant(10));
  return dict;
}

void Rate(benchmark::State& state) {
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_UpdateSystemFuncThenGetSubSystem(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasUpdate update(account.runtime);
  DatasInfo info(account.runtime);
  std::string dsn = account.Descriptor(kUser, "en");
  std::shared_ptr<Dictionary> values[2] = {HideOrShow(false), HideOrShow(true)};
  int32_t top = 0;
  int64_t round = 0;
  for (auto _ : state) {
    update.UpdateSystemFunc(dsn, kSubSystem, values[round++ % 2]);
    benchmark::DoNotOptimize(info.GetSubSystem(dsn, top));
  }
  Rate(state);
}

void BM_UpdateSystemFuncOnly(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasUpdate update(account.runtime);
  std::string dsn = account.Descriptor(kUser, "en");
  std::shared_ptr<Dictionary> values[2] = {HideOrShow(false), HideOrShow(true)};
  int64_t round = 0;
  for (auto _ : state) update.UpdateSystemFunc(dsn, kSubSystem, values[round++ % 2]);
  Rate(state);
}

// The price of durable commits: the same write with each commit synced to
// the disk before it is reported (the default, argument 1) and without
// (argument 0: a power loss may take back the last commits). Wall-clock
// time, as the sync is a wait, not work.
void BM_UpdateSystemFuncDurable(benchmark::State& state) {
  DatabaseRegistry& databases = TheAccount().runtime.databases();
  DatabaseSettings settings;
  settings.durable_commits = state.range(0) != 0;
  databases.Configure(settings);
  databases.Clear();
  BM_UpdateSystemFuncOnly(state);
  databases.Configure(DatabaseSettings{});
  databases.Clear();
}

void BM_WarmGetSubSystemOnly(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  std::string dsn = account.Descriptor(kUser, "en");
  int32_t top = 0;
  info.GetSubSystem(dsn, top);
  for (auto _ : state) benchmark::DoNotOptimize(info.GetSubSystem(dsn, top));
  Rate(state);
}

BENCHMARK(BM_UpdateSystemFuncThenGetSubSystem)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateSystemFuncOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarmGetSubSystemOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateSystemFuncDurable)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
