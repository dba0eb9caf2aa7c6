#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

namespace korvalen::bench {

using Clock = std::chrono::steady_clock;

// Elapsed time in microseconds, as a double so sub-microsecond figures survive.
[[nodiscard]] double Micros(Clock::duration elapsed);

struct Summary {
  std::size_t count = 0;
  double median = 0;
  double p99 = 0;
  double mean = 0;
};

// Median and 99th percentile by nearest rank: a figure that one sample in a hundred exceeds.
[[nodiscard]] Summary Summarize(std::vector<double> samples);

}  // namespace korvalen::bench
