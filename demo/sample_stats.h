// Samples of a per-frame measure (latency, time in a call), kept whole so that the median and
// the high percentiles can be read at the end.
#pragma once

#include <cstddef>
#include <vector>

namespace zu {

class Samples {
 public:
  void Add(double value) { values_.push_back(value); }
  size_t count() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

  // The nearest-rank quantile: the smallest sample that at least `fraction` of all samples are
  // not above (0.5 the median, lower middle of an even count; 0.99 the 99th percentile). 0 for
  // no samples.
  double Quantile(double fraction) const;
  double Median() const { return Quantile(0.5); }
  double Mean() const;
  double Max() const;

 private:
  std::vector<double> values_;
};

}  // namespace zu
