// Prints each benchmark's time as a ratio to a floor measured in the same
// run, after google-benchmark's own table:
//
//   int main(int argc, char** argv) {
//     return lxm::bench::RunWithFloors(argc, argv, {{"BM_Warm_", "BM_Floor_OnePointRead"}});
//   }
//
// Each rule names a prefix of benchmark names and the floor benchmark they
// are compared with (CPU time per iteration; wall-clock time for benchmarks
// timed with UseRealTime or UseManualTime).
#ifndef LXM_BENCH_FLOOR_RATIO_H_
#define LXM_BENCH_FLOOR_RATIO_H_

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lxm::bench {

struct FloorRule {
  std::string prefix;
  std::string floor;
};

class FloorRatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that saved output reads plainly.
  FloorRatioReporter() : ConsoleReporter(::isatty(1) ? OO_Defaults : OO_Tabular) {}

  // With --benchmark_repetitions the medians count; a single run counts as
  // it is.
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      if (run.run_type == Run::RT_Iteration && (run.repetitions > 1 || run.iterations == 0)) continue;
      std::string name = run.run_name.str();
      if (size_t at = name.find("/repeats:"); at != std::string::npos) name.erase(at);
      // Benchmarks timed by the clock (UseRealTime, UseManualTime) compare
      // wall-clock times.
      bool real_time = false;
      for (std::string_view suffix : {"/real_time", "/manual_time"}) {
        if (size_t at = name.find(suffix); at != std::string::npos) {
          name.erase(at, suffix.size());
          real_time = true;
        }
      }
      cpu_per_iteration_[name] = (real_time ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
                                 benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }

  void Print(const std::vector<FloorRule>& rules) const {
    std::printf("\n%-44s %12s  %s\n", "benchmark", "us/call", "ratio to floor");
    for (const auto& [name, seconds] : cpu_per_iteration_) {
      for (const FloorRule& rule : rules) {
        if (name.rfind(rule.prefix, 0) != 0 || name == rule.floor) continue;
        auto floor = cpu_per_iteration_.find(rule.floor);
        if (floor == cpu_per_iteration_.end() || floor->second <= 0) continue;
        std::printf("%-44s %12.2f  %.2fx %s (%.2f us)\n", name.c_str(), seconds * 1e6, seconds / floor->second,
                    rule.floor.c_str(), floor->second * 1e6);
      }
    }
  }

 private:
  std::map<std::string, double> cpu_per_iteration_;
};

inline int RunWithFloors(int argc, char** argv, const std::vector<FloorRule>& rules) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FloorRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Print(rules);
  benchmark::Shutdown();
  return 0;
}

}  // namespace lxm::bench

#endif  // LXM_BENCH_FLOOR_RATIO_H_
