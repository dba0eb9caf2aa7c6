#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvalen::bench {

// One line of the results: a figure, the floor it is held against, and the target it must meet.
struct Row {
  // What the limit applies to: the figure itself, the figure minus its floor, or their ratio.
  enum class Measure { kFigure, kDifference, kRatio };

  Row(std::string row_name, std::string row_unit, double row_figure = 0,
      std::optional<double> row_floor = std::nullopt)
      : name(std::move(row_name)),
        unit(std::move(row_unit)),
        figure(row_figure),
        floor(row_floor) {}

  std::string name;
  std::string unit;
  double figure = 0;
  std::optional<double> floor;
  Measure measure = Measure::kFigure;
  // None: the row is there for scale and passes or fails nothing.
  std::optional<double> limit;
  bool strict = false;  // "under" rather than "at most"
  std::string target;   // the limit as a reader says it, "median +10 us"
  std::string detail;   // how it was measured, samples, side figures
  // Set when the figure could not be measured at all; the row then fails.
  std::string error;

  [[nodiscard]] std::optional<double> Compared() const;
  [[nodiscard]] std::optional<bool> Pass() const;
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
