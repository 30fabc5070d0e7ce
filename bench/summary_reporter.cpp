#include "bench/summary_reporter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace zu {
namespace {

constexpr char kOurs[] = "codec";

double ToMilliseconds(double value, benchmark::TimeUnit unit) {
  return value / benchmark::GetTimeUnitMultiplier(unit) * 1e3;
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Print(std::ostream& out, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out << line;
}

}  // namespace

SummaryReporter::SummaryReporter(std::vector<Target> targets) : targets_(std::move(targets)) {}

SummaryReporter::Entry& SummaryReporter::EntryFor(const Run& run) {
  const std::string& name = run.run_name.function_name;
  auto found = entries_.find(name);
  if (found != entries_.end()) return found->second;
  Entry entry;
  const size_t first = name.find('/'), second = name.find('/', first + 1);
  entry.operation = name.substr(0, first);
  if (first != std::string::npos) entry.implementation = name.substr(first + 1, second - first - 1);
  if (second != std::string::npos) entry.size = name.substr(second + 1);
  order_.push_back(name);
  return entries_.emplace(name, entry).first->second;
}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    const bool only_run = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    const bool cv = run.run_type == Run::RT_Aggregate && run.aggregate_name == "cv";
    if (!only_run && !median && !cv) continue;
    Result& result = EntryFor(run).result;
    if (cv) {
      // Stored as a plain fraction; the per-iteration adjustment would divide it again.
      result.cv = run.cpu_accumulated_time;
      continue;
    }
    result.cpu_ms = ToMilliseconds(run.GetAdjustedCPUTime(), run.time_unit);
    result.repetitions = static_cast<int>(std::max<int64_t>(run.repetitions, 1));
    auto bytes = run.counters.find("bytes_out");
    if (bytes != run.counters.end()) result.bytes_out = bytes->second.value;
  }
}

void SummaryReporter::Finalize() {
  ConsoleReporter::Finalize();
  std::ostream& out = GetOutputStream();

  int repetitions = 1;
  for (const auto& [name, entry] : entries_)
    repetitions = std::max(repetitions, entry.result.repetitions);
  const std::string basis =
      repetitions > 1 ? "median of " + std::to_string(repetitions) + " repetitions" : "single runs";
  Print(out, "\nSummary: CPU time per frame, %s\n", basis.c_str());
  Print(out, "%-7s %-10s %10s %10s %-7s %7s %6s %10s %9s  %s\n", "op", "size", "codec ms", "ref ms",
        "ref", "ratio", "cv", "bytes out", "frames/s", "target");

  // Reported in random order when repetitions interleave; listed by operation, then frame size.
  auto operation_rank = [&](const std::string& operation) {
    for (size_t i = 0; i < targets_.size(); ++i) {
      if (targets_[i].operation == operation) return i;
    }
    return targets_.size();
  };
  auto pixels = [](const std::string& size) {
    const size_t x = size.find('x');
    return x == std::string::npos ? 0.0 : std::atof(size.c_str()) * std::atof(size.c_str() + x + 1);
  };
  std::vector<std::string> order = order_;
  std::stable_sort(order.begin(), order.end(), [&](const std::string& a, const std::string& b) {
    const Entry &p = entries_[a], &q = entries_[b];
    if (operation_rank(p.operation) != operation_rank(q.operation)) {
      return operation_rank(p.operation) < operation_rank(q.operation);
    }
    return pixels(p.size) < pixels(q.size);
  });

  int checked = 0;
  std::vector<std::string> misses;
  for (const std::string& name : order) {
    const Entry& ours = entries_[name];
    if (ours.implementation != kOurs) continue;
    const Entry* reference = nullptr;
    for (const auto& [other_name, other] : entries_) {
      if (other.operation == ours.operation && other.size == ours.size &&
          other.implementation != kOurs) {
        reference = &other;
      }
    }
    const auto target = std::find_if(targets_.begin(), targets_.end(), [&](const Target& t) {
      return t.operation == ours.operation;
    });
    const double fps = ours.result.cpu_ms > 0 ? 1e3 / ours.result.cpu_ms : 0;
    if (reference == nullptr || reference->result.cpu_ms <= 0) {
      Print(out, "%-7s %-10s %10.4f %10s %-7s %7s %6s %10.0f %9.1f  no reference run\n",
            ours.operation.c_str(), ours.size.c_str(), ours.result.cpu_ms, "-", "-", "-", "-",
            ours.result.bytes_out, fps);
      continue;
    }
    const double ratio = ours.result.cpu_ms / reference->result.cpu_ms;
    const double cv = std::max(ours.result.cv, reference->result.cv);
    std::string verdict = "none set";
    if (target != targets_.end()) {
      ++checked;
      const bool holds = ratio <= 1.0 + target->tolerance;
      char text[64];
      std::snprintf(text, sizeof text, "<= %.2f %s", 1.0 + target->tolerance,
                    holds ? "holds" : "MISSED");
      verdict = text;
      if (!holds) misses.push_back(ours.operation + " " + ours.size);
    }
    char spread[16] = "-";  // a single run has none
    if (repetitions > 1) std::snprintf(spread, sizeof spread, "%.1f%%", cv * 100);
    Print(out, "%-7s %-10s %10.4f %10.4f %-7s %7.3f %6s %10.0f %9.1f  %s\n", ours.operation.c_str(),
          ours.size.c_str(), ours.result.cpu_ms, reference->result.cpu_ms,
          reference->implementation.c_str(), ratio, spread, ours.result.bytes_out, fps,
          verdict.c_str());
  }
  if (misses.empty()) {
    Print(out, "targets: all %d hold\n", checked);
  } else {
    std::string list;
    for (const std::string& miss : misses) list += (list.empty() ? "" : ", ") + miss;
    Print(out, "targets: %zu of %d missed (%s)\n", misses.size(), checked, list.c_str());
  }
  out.flush();
}

}  // namespace zu
