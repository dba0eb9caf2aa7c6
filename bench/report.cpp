#include "bench/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace korvalen::bench {
namespace {

constexpr std::size_t kColumns = 6;
using Line = std::array<std::string, kColumns>;

std::string Number(double value) {
  const double magnitude = std::fabs(value);
  const int decimals = magnitude == std::floor(magnitude) ? 0 : magnitude < 10 ? 2 : 1;
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(magnitude >= 1000 ? 0 : decimals);
  text << value;
  return text.str();
}

std::string WithUnit(double value, const std::string& unit) {
  return unit.empty() ? Number(value) : Number(value) + " " + unit;
}

double Rank(const std::vector<double>& sorted, double fraction) {
  const auto rank =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::string ResultText(const Row& row) {
  const std::optional<bool> pass = row.Pass();
  return !pass ? "scale" : *pass ? "pass" : "FAIL";
}

Line TableLine(const Row& row) {
  if (!row.error.empty()) return {row.name, "not measured", "-", "-", row.Target(), "FAIL"};
  std::string compared = "-";
  if (row.floor && row.measure == Row::Measure::kRatio && *row.floor > 0) {
    compared = Number(row.figure / *row.floor) + "x";
  } else if (row.floor) {
    compared = (row.figure >= *row.floor ? "+" : "") + WithUnit(row.figure - *row.floor, row.unit);
  }
  return {row.name,
          WithUnit(row.figure, row.unit),
          row.floor ? WithUnit(*row.floor, row.unit) : "-",
          compared,
          row.Target(),
          ResultText(row)};
}

}  // namespace

double Micros(Clock::duration elapsed) {
  return std::chrono::duration<double, std::micro>(elapsed).count();
}

Summary Summarize(std::vector<double> samples) {
  if (samples.empty()) throw std::invalid_argument("no samples");
  std::sort(samples.begin(), samples.end());
  return {
      Rank(samples, 0.5), Rank(samples, 0.99),
      std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size())};
}

std::optional<double> Row::Compared() const {
  if (!error.empty() || (measure != Measure::kFigure && !floor)) return std::nullopt;
  if (measure == Measure::kDifference) return figure - *floor;
  if (measure == Measure::kRatio) return *floor > 0 ? std::optional(figure / *floor) : std::nullopt;
  return figure;
}

std::optional<bool> Row::Pass() const {
  if (!error.empty()) return false;
  if (!limit) return std::nullopt;
  const std::optional<double> compared = Compared();
  return compared && *compared <= *limit;
}

std::string Row::Target() const {
  if (!limit) return "for scale";
  if (measure == Measure::kDifference) return "floor +" + WithUnit(*limit, unit);
  if (measure == Measure::kRatio) return "<= " + Number(*limit) + "x floor";
  return *limit == 0 ? "0" : "<= " + WithUnit(*limit, unit);
}

std::string FormatTable(const Report& report) {
  std::vector<Line> lines{{"Benchmark", "Figure", "Floor", "vs floor", "Target", "Result"}};
  for (const Row& row : report.rows) lines.push_back(TableLine(row));
  std::array<std::size_t, kColumns> widths{};
  for (const Line& line : lines) {
    for (std::size_t i = 0; i < kColumns; ++i) widths[i] = std::max(widths[i], line[i].size());
  }
  // Text left, numbers right, as a reader scans them.
  const auto numeric = [](std::size_t column) { return column >= 1 && column <= 3; };
  std::string table;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    for (std::size_t i = 0; i < kColumns; ++i) {
      const std::string pad(widths[i] - lines[at][i].size(), ' ');
      table += "| " + (numeric(i) ? pad + lines[at][i] : lines[at][i] + pad) + " ";
    }
    table += "|\n";
    if (at > 0) continue;
    for (std::size_t i = 0; i < kColumns; ++i) {
      table += "|" + std::string(widths[i] + 1, '-') + (numeric(i) ? ":" : "-");
    }
    table += "|\n";
  }
  table += "\nLoad average before: " + report.load_before + "; after: " + report.load_after + "\n";
  int passed = 0;
  int failed = 0;
  for (const Row& row : report.rows) {
    if (!row.error.empty()) table += row.name + ": " + row.error + "\n";
    if (const std::optional<bool> pass = row.Pass()) ++(*pass ? passed : failed);
  }
  return table + Cat(passed, " passed, ", failed, " failed\n");
}

std::string FormatJson(const Report& report) {
  const auto text = [](const std::string& value) { return QString::fromStdString(value); };
  QJsonArray rows;
  for (const Row& row : report.rows) {
    const std::optional<bool> pass = row.Pass();
    rows.append(
        QJsonObject{{"name", text(row.name)},
                    {"unit", text(row.unit)},
                    {"figure", row.error.empty() ? QJsonValue(row.figure) : QJsonValue()},
                    {"floor", row.floor ? QJsonValue(*row.floor) : QJsonValue()},
                    {"target", text(row.Target())},
                    {"result", pass ? QJsonValue(*pass) : QJsonValue(QStringLiteral("scale"))},
                    {"detail", text(row.detail)},
                    {"error", text(row.error)}});
  }
  const QJsonObject root{{"load_before", text(report.load_before)},
                         {"load_after", text(report.load_after)},
                         {"passed", AllPassed(report)},
                         {"rows", rows}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool AllPassed(const Report& report) {
  return std::all_of(report.rows.begin(), report.rows.end(),
                     [](const Row& row) { return row.Pass().value_or(true); });
}

}  // namespace korvalen::bench
