// The console report, then a table that sets each of our runs beside its reference run.
//
// Benchmarks are named OPERATION/IMPLEMENTATION/SIZE. The implementation "codec" is ours; any
// other one is the reference for that operation and size. A target is the largest slowdown
// against the reference that an operation may show.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zu {

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Target {
    std::string operation;
    double tolerance;  // 0.05: the codec may take up to 5% longer
  };

  explicit SummaryReporter(std::vector<Target> targets);

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  struct Result {
    double cpu_ms = 0;  // per frame: the median over repetitions, or the only run
    double cv = 0;      // coefficient of variation over repetitions, 0 without them
    double bytes_out = 0;
    int repetitions = 1;
  };
  struct Entry {
    std::string operation, implementation, size;
    Result result;
  };

  Entry& EntryFor(const Run& run);

  std::vector<Target> targets_;
  std::vector<std::string> order_;  // names as first reported, for the table's row order
  std::map<std::string, Entry> entries_;
};

}  // namespace zu
