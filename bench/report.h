#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace korvalen::bench {

using Clock = std::chrono::steady_clock;

// Elapsed time in microseconds, as a double so sub-microsecond figures survive.
[[nodiscard]] double Micros(Clock::duration elapsed);

// Text from numbers and words, for the table's details, with figures to one decimal.
template <typename... Parts>
[[nodiscard]] std::string Cat(const Parts&... parts) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(1);
  (text << ... << parts);
  return text.str();
}

struct Summary {
  double median = 0;
  double p99 = 0;
  double mean = 0;
};

// Median and 99th percentile by nearest rank: a figure that one sample in a hundred exceeds.
[[nodiscard]] Summary Summarize(std::vector<double> samples);

// One line of the results: a figure, the floor it is held against, and the limit it must keep.
struct Row {
  // What the limit applies to: the figure itself, the figure minus its floor, or their ratio.
  enum class Measure { kFigure, kDifference, kRatio };

  Row(std::string row_name, std::string row_unit, double row_figure,
      std::optional<double> row_floor = {}, Measure row_measure = Measure::kFigure,
      std::optional<double> row_limit = {}, std::string row_detail = {})
      : name(std::move(row_name)),
        unit(std::move(row_unit)),
        figure(row_figure),
        floor(row_floor),
        measure(row_measure),
        limit(row_limit),
        detail(std::move(row_detail)) {}

  std::string name;
  std::string unit;
  double figure = 0;
  std::optional<double> floor;
  Measure measure = Measure::kFigure;
  std::optional<double> limit;  // at most this; none: the row is there for scale
  std::string detail;           // how it was measured
  std::string error;            // set when nothing could be measured; the row then fails

  [[nodiscard]] std::optional<double> Compared() const;
  [[nodiscard]] std::optional<bool> Pass() const;
  // The limit as a reader says it: "floor +40 us", "<= 1.2x floor", "for scale".
  [[nodiscard]] std::string Target() const;
};

struct Report {
  std::vector<Row> rows;
  std::string load_before;  // /proc/loadavg
  std::string load_after;
};

// The table as the bench prints it, with a closing "N passed, N failed" line.
[[nodiscard]] std::string FormatTable(const Report& report);
[[nodiscard]] std::string FormatJson(const Report& report);
[[nodiscard]] bool AllPassed(const Report& report);

}  // namespace korvalen::bench
