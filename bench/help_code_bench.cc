// GetHelpCodeInfo on a synthetic tree of 20,000 detail functions with 300
// users: a code that matches one template function, and one that matches
// nothing.
//
//   build/help_code_bench
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_account.h"
#include "info/datas_info.h"

namespace lxm {
namespace {

bench::BenchAccount& TheAccount() {
  static bench::BenchAccount account("help_bench", bench::Synthetic("5,10,20,20"));
  return account;
}

void BM_GetHelpCodeInfo(benchmark::State& state, std::string code) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  std::string dsn = account.Descriptor(20001, "en");
  int64_t rows = info.GetHelpCodeInfo(dsn, code).RecordCount();
  for (auto _ : state) benchmark::DoNotOptimize(info.GetHelpCodeInfo(dsn, code));
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The first detail function of sub-function 300205 has no account-type list,
// so it is found whatever the installed type; the code is typed in lower case.
BENCHMARK_CAPTURE(BM_GetHelpCodeInfo, one_template_function, std::string("gn30020501"));
BENCHMARK_CAPTURE(BM_GetHelpCodeInfo, no_match, std::string("NOSUCHCODE"));

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
