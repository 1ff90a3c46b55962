// ApplyAllUser from one user to 1,000 listed users of a synthetic account
// (5,10,20,20: 20,000 detail functions), in seconds per call. Two layouts of
// the template user: the shared default's nodes (what SetDefault gives, 55
// rows) and a full copy of the three upper levels (1,055 rows), so each call
// writes 55,000 or 1,055,000 overlay rows. The aim is well under 10 s.
//
//   build-release/apply_all_user_bench
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "platform/call_scope.h"
#include "tree/account_setup.h"
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

struct SyntheticAccount {
  std::filesystem::path dir;
  std::string path;
  Runtime runtime;

  SyntheticAccount() {
    dir = std::filesystem::temp_directory_path() / ("lxm_apply_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "synthetic.db").string();
    AccountSetupOptions options;
    options.synthetic = ParseSyntheticShape("5,10,20,20");
    std::string connect_string = CreateAccountDatabase(runtime, path, options);
    DatasUpdate update(runtime);
    update.SetDefault(MakeDescriptor(path, kDefaultLayoutUser, "chs"));
    update.SetDefault(MakeDescriptor(path, kFullLayoutUser, "chs"));
    // The full layout: a row for every sub-function as well.
    RunInCallScope(runtime, true, [&] {
      CallScope::Current()->TransactionFor(connect_string).Execute(
          "INSERT INTO t_UserSubFunc (FSubFuncID,FUserID,FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,"
          "FVisible) SELECT FSubFuncID,?,FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,FVisible "
          "FROM t_DataFlowSubFunc WHERE FSubFuncID NOT IN (SELECT FSubFuncID FROM t_UserSubFunc WHERE FUserID=?)",
          {Variant(kFullLayoutUser), Variant(kFullLayoutUser)});
    });
  }
  ~SyntheticAccount() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

SyntheticAccount& TheAccount() {
  static SyntheticAccount account;
  return account;
}

void BM_ApplyAllUserToThousandUsers(benchmark::State& state) {
  SyntheticAccount& account = TheAccount();
  int32_t template_user = static_cast<int32_t>(state.range(0));
  DatasUpdate update(account.runtime);
  auto users = Vector::Create();
  for (int32_t user = kFirstTarget; user < kFirstTarget + kTargets; ++user) users->Append(Variant(user));
  auto info = Dictionary::Create();
  info->Set("TemplateUserID", Variant(template_user));
  std::string dsn = MakeDescriptor(account.path, 1, "chs");
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
