#include "demo/sample_stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zu {

double Samples::Quantile(double fraction) const {
  if (values_.empty()) return 0.0;
  const double clamped = std::min(std::max(fraction, 0.0), 1.0);
  // Rank ceil(f * n), 1-based; at least the first sample. The product is nudged down first: on
  // x87 (32-bit builds) 0.01 * 100 comes out a hair above 1 and would take the second sample.
  size_t rank =
      static_cast<size_t>(std::ceil(clamped * static_cast<double>(values_.size()) * (1 - 1e-12)));
  rank = std::max<size_t>(rank, 1);
  std::vector<double> sorted = values_;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(rank - 1), sorted.end());
  return sorted[rank - 1];
}

double Samples::Mean() const {
  if (values_.empty()) return 0.0;
  return std::accumulate(values_.begin(), values_.end(), 0.0) / static_cast<double>(values_.size());
}

double Samples::Max() const {
  return values_.empty() ? 0.0 : *std::max_element(values_.begin(), values_.end());
}

}  // namespace zu
