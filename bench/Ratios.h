// What a benchmark of the library against its raw counterpart prints: the
// usual table, then for each question the library's time over the raw one.
// Cases are named BM_<question>_Library and BM_<question>_Raw (a third,
// BM_<question>_RawPrepared, where the raw side has two forms).
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tessaly::bench {

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// Keeps each run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      times_[name.substr(0, name.find('/'))] = {run.GetAdjustedRealTime(),
                                                run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  bool Ran(const std::string& name) const { return times_.contains(name); }
  // The case BM_<question>_<side>, or nullptr when it did not run.
  const Timing* Find(const std::string& question, const char* side) const {
    auto it = times_.find("BM_" + question + "_" + side);
    return it == times_.end() ? nullptr : &it->second;
  }

 private:
  std::map<std::string, Timing> times_;
};

// Runs the benchmarks the command line selects, then `ratios` over what ran.
inline int RunWithRatios(int argc, char** argv,
                         const std::function<void(const RatioReporter&)>& ratios) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  ratios(reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace tessaly::bench
