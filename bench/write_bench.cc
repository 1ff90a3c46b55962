// A write followed by the listing that reads it, on the demo account: the
// road of one edit. Each iteration hides or shows a subsystem for one user
// (UpdateSystemFunc, overlay mode) and lists that user's subsystems
// (GetSubSystem), which must reload the user's levels for the moved stamp.
//
//   build/write_bench
//
// "Write only" and "listing only" give the two halves for comparison.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "info/datas_info.h"
#include "tree/account_setup.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

constexpr int32_t kUser = 16395;
constexpr int32_t kSubSystem = 1001;

struct DemoAccount {
  std::filesystem::path dir;
  std::string path;
  Runtime runtime;

  DemoAccount() {
    dir = std::filesystem::temp_directory_path() / ("lxm_write_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "demo.db").string();
    AccountSetupOptions options;
    options.demo = true;
    CreateAccountDatabase(runtime, path, options);
  }
  ~DemoAccount() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Dsn() const { return MakeDescriptor(path, kUser, "en"); }
};

DemoAccount& TheAccount() {
  static DemoAccount account;
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
  DemoAccount& account = TheAccount();
  DatasUpdate update(account.runtime);
  DatasInfo info(account.runtime);
  std::string dsn = account.Dsn();
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
  DemoAccount& account = TheAccount();
  DatasUpdate update(account.runtime);
  std::string dsn = account.Dsn();
  std::shared_ptr<Dictionary> values[2] = {HideOrShow(false), HideOrShow(true)};
  int64_t round = 0;
  for (auto _ : state) update.UpdateSystemFunc(dsn, kSubSystem, values[round++ % 2]);
  Rate(state);
}

void BM_WarmGetSubSystemOnly(benchmark::State& state) {
  DemoAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  std::string dsn = account.Dsn();
  int32_t top = 0;
  info.GetSubSystem(dsn, top);
  for (auto _ : state) benchmark::DoNotOptimize(info.GetSubSystem(dsn, top));
  Rate(state);
}

BENCHMARK(BM_UpdateSystemFuncThenGetSubSystem)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateSystemFuncOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarmGetSubSystemOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
