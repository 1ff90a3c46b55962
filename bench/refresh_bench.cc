// RefreshActivFunc over 20 subsystems marked for refresh, each with an
// in-process component that answers 50 sub-functions; each subsystem has 50
// sub-functions with 10 detail functions each before the call, and "changing"
// alternates two name sets so every call replaces every row.
//
//   build-release/refresh_bench
//
// Counters, on wall-clock time: seconds_per_call, subfuncs_per_s.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench_account.h"
#include "platform/dictionary.h"
#include "platform/refresh_component.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

constexpr int32_t kSubsystems = 20;
constexpr int32_t kSubFuncs = 50;
constexpr int32_t kDetails = 10;
constexpr int32_t kFirstSubsystem = 1001;

// Answers kSubFuncs items named after `round_`, which each call advances
// when the benchmark asks for changing lists.
class BenchComponent : public RefreshComponent {
 public:
  BenchComponent(const bool* changing, int64_t* round) : changing_(changing), round_(round) {}

  Variant GetRefreshFunc(Variant& dictionary) override {
    int32_t subsystem = dictionary.AsDictionary()->Item("FSubSysID").AsLong();
    std::string prefix = (*changing_ && *round_ % 2 == 1) ? "Other " : "Function ";
    std::shared_ptr<Vector> list = Vector::Create();
    for (int32_t i = 1; i <= kSubFuncs; ++i) {
      std::shared_ptr<Dictionary> item = Dictionary::Create();
      std::string name = prefix + std::to_string(subsystem) + "." + std::to_string(i);
      item->Set("FFuncName", Variant(name));
      item->Set("FFuncName_CHT", Variant(name));
      item->Set("FFuncName_En", Variant(name));
      item->Set("FVisible", Variant(true));
      item->Set("FClassName", Variant("K3.Function"));
      item->Set("FFuncType", Variant(3));
      list->Append(Variant(item));
    }
    return Variant(list);
  }

 private:
  const bool* changing_;
  const int64_t* round_;
};

void Fill(Transaction& db) {
  db.Execute("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName) VALUES (1, 'top')");
  db.Execute("INSERT INTO t_DataFlowTimeStamp (FName) VALUES ('DataFlow')");
  for (int32_t s = 0; s < kSubsystems; ++s) {
    int32_t subsystem = kFirstSubsystem + s;
    db.Execute("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FClassName, FRefresh, FSubID) "
               "VALUES (?, 1, 'subsystem', 'Bench.Refresh', 1, '')",
               {Variant(subsystem)});
    for (int32_t f = 1; f <= kSubFuncs; ++f) {
      int32_t sub_func = subsystem * 100 + f;
      db.Execute("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName) VALUES (?, ?, ?, 'f')",
                 {Variant(sub_func), Variant(subsystem), Variant(f)});
      for (int32_t d = 1; d <= kDetails; ++d) {
        db.Execute("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName) "
                   "VALUES (?, ?, ?, 'd')",
                   {Variant(sub_func * 100 + d), Variant(sub_func), Variant(d)});
      }
    }
  }
}

// range(0): 1 changing lists, 0 the same list every call.
void BM_RefreshActivFunc(benchmark::State& state) {
  static bench::BenchAccount account("refresh_bench", {}, Fill);
  static bool changing = false;
  static int64_t round = 0;
  account.runtime.components().Register("Bench.Refresh",
                                        [] { return std::make_shared<BenchComponent>(&changing, &round); });
  changing = state.range(0) == 1;
  DatasUpdate update(account.runtime);
  const std::string dsn = account.Descriptor(1);
  update.RefreshActivFunc(dsn);  // the details go with the first call
  for (auto _ : state) {
    ++round;
    update.RefreshActivFunc(dsn);
  }
  const double calls = static_cast<double>(state.iterations());
  state.counters["seconds_per_call"] =
      benchmark::Counter(calls, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["subfuncs_per_s"] = benchmark::Counter(calls * kSubsystems * kSubFuncs, benchmark::Counter::kIsRate);
  state.SetLabel(changing ? "changing lists" : "same list");
}

BENCHMARK(BM_RefreshActivFunc)->ArgName("changing")->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lxm

BENCHMARK_MAIN();
