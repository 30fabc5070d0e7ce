// zu_bench_simcam: what one frame of the simulated camera costs, at 640 x 480 in every bit
// count, once the format is prepared. A preview at 30 frames a second must leave the host's
// thread nearly idle, so each frame must cost well under a millisecond; the line after the table
// says whether it does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "simcam/frame_generator.h"

namespace zu::simcam {
namespace {

constexpr double kBudgetMs = 0.5;  // "well under a millisecond"

void BM_Frame(benchmark::State& state) {
  VideoFormat format;
  format.width = 640;
  format.height = 480;
  format.bit_count = static_cast<uint16_t>(state.range(0));
  format.colors = static_cast<uint32_t>(state.range(1));
  FrameGenerator generator;
  if (!generator.Prepare(format)) {
    state.SkipWithError("format not drawable");
    return;
  }
  std::vector<uint8_t> frame(generator.image_size());
  const PictureSettings settings;
  uint32_t index = 0;
  for (auto _ : state) {
    generator.Render(++index, "#000123 12:34:56.789 SIM", settings, frame.data());
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}
BENCHMARK(BM_Frame)
    ->ArgNames({"bits", "colors"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({8, 0})
    ->Args({8, 16})
    ->Args({16, 0})
    ->Args({24, 0})
    ->Args({32, 0})
    ->Unit(benchmark::kMicrosecond);

// The console table, then one line with the slowest frame against the budget.
class BudgetReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const double ms =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
      if (ms > slowest_ms_) {
        slowest_ms_ = ms;
        slowest_ = run.benchmark_name();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("simcam: slowest 640x480 frame %.3f ms (%s); budget %.1f ms: %s\n", slowest_ms_,
                slowest_.c_str(), kBudgetMs, slowest_ms_ <= kBudgetMs ? "met" : "MISSED");
  }

 private:
  double slowest_ms_ = 0;
  std::string slowest_;
};

}  // namespace
}  // namespace zu::simcam

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  zu::simcam::BudgetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
