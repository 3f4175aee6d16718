// Console output of a benchmark run followed by a table that sets each
// benchmark "name/case" next to its baseline ("memcpy/case", "cat/case")
// from the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class BaselineReporter : public benchmark::ConsoleReporter {
 public:
  // heading: title of the first column ("codec/content", "call/page").
  explicit BaselineReporter(const char* heading, std::string baseline = "memcpy")
      : ConsoleReporter(OO_Tabular), heading_(heading), baseline_(std::move(baseline)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %12s %12s %8s\n", heading_, "MB/s", (baseline_ + " MB/s").c_str(), "ratio");
    for (const auto& [benchName, rate] : rates_) {
      const size_t slash = benchName.find('/');
      if (slash == std::string::npos || benchName.compare(0, slash, baseline_) == 0) continue;
      const auto base = rates_.find(baseline_ + benchName.substr(slash));
      if (base == rates_.end() || base->second <= 0) continue;
      std::printf("%-44s %12.1f %12.1f %8.4f\n", benchName.c_str(), rate / 1e6, base->second / 1e6,
                  rate / base->second);
    }
  }

 private:
  const char* heading_;
  std::string baseline_;
  std::map<std::string, double> rates_;
};

}  // namespace bench
