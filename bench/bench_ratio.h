#pragma once
// The console reporter of the benchmark programs that set the library against
// a peer: it keeps each benchmark's CPU time (the median when repeated, e.g.
// with --benchmark_repetitions=5), so that ratios can be printed after the run.

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qtx::bench {

class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    for (const Run& run : aRuns) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Iteration || median) FTimes[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(aRuns);
  }
  // aOurs' CPU time over aPeer's; none when either did not run.
  std::optional<double> Ratio(const std::string& aOurs, const std::string& aPeer) const {
    const auto ours = FTimes.find(aOurs), peer = FTimes.find(aPeer);
    if (ours == FTimes.end() || peer == FTimes.end()) return std::nullopt;
    return ours->second / peer->second;
  }

private:
  std::map<std::string, double> FTimes;
};

}  // namespace qtx::bench
