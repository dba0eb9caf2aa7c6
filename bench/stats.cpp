#include "bench/stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace korvalen::bench {
namespace {

double Rank(const std::vector<double>& sorted, double fraction) {
  const auto rank =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

double Micros(Clock::duration elapsed) {
  return std::chrono::duration<double, std::micro>(elapsed).count();
}

Summary Summarize(std::vector<double> samples) {
  if (samples.empty()) throw std::invalid_argument("no samples");
  std::sort(samples.begin(), samples.end());
  Summary summary;
  summary.count = samples.size();
  summary.median = Rank(samples, 0.5);
  summary.p99 = Rank(samples, 0.99);
  summary.mean =
      std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
  return summary;
}

}  // namespace korvalen::bench
