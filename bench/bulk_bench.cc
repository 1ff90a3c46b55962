// A user's layout exported and imported by another user.
//
//   build-release/bulk_bench
//
// On a synthetic tree of 20,000 detail functions (5,10,20,20). User 50000
// has own rows for every node of the tree (5 top classes, 50 subsystems,
// 1,000 sub-functions, 20,000 detail functions); its layout is exported and
// imported by user 50001, whose overlay it replaces each time.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench_account.h"
#include "info/datas_info.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

constexpr int32_t kExporter = 50000;
constexpr int32_t kImporter = 50001;

// The exporter has an overlay row for every node.
void FillExporter(Transaction& db) {
  Params user{Variant(kExporter)};
  db.Execute("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FTopClassName_CHT, "
             "FTopClassName_EN, FIndex, FVisible, FAcctType) SELECT FTopClassID, ?, FTopClassName, "
             "FTopClassName_CHT, FTopClassName_EN, FIndex, FVisible, FAcctType FROM t_DataFlowTopClass",
             user);
  db.Execute("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_CHT, FName_EN, "
             "FIndex, FVisible, FAcctType) SELECT FSubSysID, ?, FTopClassID, FName, FName_CHT, FName_EN, "
             "FIndex, FVisible, FAcctType FROM t_DataFlowSubSystem",
             user);
  db.Execute("INSERT INTO t_UserSubFunc (FSubFuncID, FUserID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, "
             "FFuncName_EN, FVisible) SELECT FSubFuncID, ?, FSubSysID, FIndex, FFuncName, FFuncName_CHT, "
             "FFuncName_EN, FVisible FROM t_DataFlowSubFunc",
             user);
  db.Execute("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, "
             "FFuncName_CHT, FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable) "
             "SELECT FDetailFuncID, ?, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, "
             "FClassName, FClassParam, FVisible, FHelpCode, FEnable FROM t_DataFlowDetailFunc",
             user);
}

bench::BenchAccount& TheAccount() {
  static bench::BenchAccount account("bulk_bench", bench::Synthetic("5,10,20,20"), FillExporter);
  return account;
}

void Report(benchmark::State& state, const std::shared_ptr<Dictionary>& layout) {
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["detail_rows"] = layout->Item("DetailFunc").AsRecordset()->RecordCount();
}

void BM_ExportUserData(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  std::shared_ptr<Dictionary> layout;
  for (auto _ : state) layout = info.ExportUserData(account.Descriptor(kExporter, "en"));
  Report(state, layout);
}

void BM_ImportUserData(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  std::shared_ptr<Dictionary> layout = DatasInfo(account.runtime).ExportUserData(account.Descriptor(kExporter, "en"));
  DatasUpdate update(account.runtime);
  for (auto _ : state) update.ImportUserData(account.Descriptor(kImporter, "en"), layout);
  Report(state, layout);
}

// One export and one import per iteration: what moving a layout costs.
void BM_ExportThenImport(benchmark::State& state) {
  bench::BenchAccount& account = TheAccount();
  DatasInfo info(account.runtime);
  DatasUpdate update(account.runtime);
  std::shared_ptr<Dictionary> layout;
  for (auto _ : state) {
    layout = info.ExportUserData(account.Descriptor(kExporter, "en"));
    update.ImportUserData(account.Descriptor(kImporter, "en"), layout);
  }
  Report(state, layout);
}

BENCHMARK(BM_ExportUserData)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportUserData)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportThenImport)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
