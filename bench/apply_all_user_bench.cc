// ApplyAllUser from one user to 1,000 listed users of a synthetic account
// (5,10,20,20: 20,000 detail functions), in seconds per call. Two layouts of
// the template user: the shared default's nodes (what SetDefault gives, 55
// rows) and a full copy of the three upper levels (1,055 rows), so each call
// writes 55,000 or 1,055,000 overlay rows. The aim is well under 10 s.
//
//   build-release/apply_all_user_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench_account.h"
#include "update/datas_update.h"

// GCC 12 reports a false "may be used uninitialized" inside std::variant when
// a Variant is appended in a loop here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace lxm {
namespace {

constexpr int32_t kDefaultLayoutUser = 20001;
constexpr int32_t kFullLayoutUser = 20002;
constexpr int32_t kFirstTarget = 500000;
constexpr int32_t kTargets = 1000;
constexpr double kAimSeconds = 10.0;

// Two layouts to copy: the shared default's, and one with a row for every
// sub-function as well.
bench::BenchAccount& TheAccount() {
  static bench::BenchAccount account("apply_bench", bench::Synthetic("5,10,20,20"));
  static bool filled = [] {
    DatasUpdate update(account.runtime);
    update.SetDefault(account.Descriptor(kDefaultLayoutUser));
    update.SetDefault(account.Descriptor(kFullLayoutUser));
    RunInCallScope(account.runtime, true, [&] {
      CallScope::Current()->TransactionFor(account.connect_string).Execute(
          "INSERT INTO t_UserSubFunc (FSubFuncID,FUserID,FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,"
          "FVisible) SELECT FSubFuncID,?,FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,FVisible "
          "FROM t_DataFlowSubFunc WHERE FSubFuncID NOT IN (SELECT FSubFuncID FROM t_UserSubFunc WHERE FUserID=?)",
          {Variant(kFullLayoutUser), Variant(kFullLayoutUser)});
    });
    return true;
  }();
  (void)filled;
  return account;
}

void BM_ApplyAllUserToThousandUsers(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  int32_t template_user = static_cast<int32_t>(state.range(0));
  DatasUpdate update(account.runtime);
  auto users = Vector::Create();
  for (int32_t user = kFirstTarget; user < kFirstTarget + kTargets; ++user) users->Append(Variant(user));
  auto info = Dictionary::Create();
  info->Set("TemplateUserID", Variant(template_user));
  std::string dsn = account.Descriptor(1, "chs");
  for (auto _ : state) benchmark::DoNotOptimize(update.ApplyAllUser(dsn, users, info));
  // Seconds per call, and that time as a share of the aim.
  state.counters["s_per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate |
                                                                       benchmark::Counter::kInvert);
  state.counters["share_of_aim"] = benchmark::Counter(static_cast<double>(state.iterations()) * kAimSeconds,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ApplyAllUserToThousandUsers)
    ->Arg(kDefaultLayoutUser)
    ->Arg(kFullLayoutUser)
    ->Iterations(3)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
