#pragma once
// A console reporter that also keeps each benchmark's bytes-per-second figure (the median when runs
// are repeated), so that a program can end with its comparison lines ("ratio <name> <value>
// <meaning>") computed from the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class ThroughputReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      // With --benchmark_repetitions the median stands for the benchmark; it is reported last.
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
        rates_[run.run_name.function_name] = rate->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Bytes per second of the benchmark registered under `name`; 0 when it did not run.
  double Rate(const std::string& name) const {
    const auto found = rates_.find(name);
    return found == rates_.end() ? 0.0 : found->second;
  }

  // Prints "ratio <comparison> <ours / theirs> <meaning>" when both ran.
  void PrintRatio(const char* comparison, const std::string& ours, const std::string& theirs,
                  const char* meaning) const {
    const double a = Rate(ours);
    const double b = Rate(theirs);
    if (a > 0 && b > 0) std::printf("ratio %s %.2f %s\n", comparison, a / b, meaning);
  }

 private:
  std::map<std::string, double> rates_;
};

// Runs the benchmarks selected on the command line with the reporter above; false on bad arguments.
inline bool RunBenchmarks(int argc, char** argv, ThroughputReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}
