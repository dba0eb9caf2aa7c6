#include "bench/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace korvalen::bench {
namespace {

std::string Number(double value) {
  const double magnitude = std::fabs(value);
  const int decimals = magnitude == std::floor(magnitude) && magnitude < 1e9 ? 0
                       : magnitude < 10                                      ? 2
                       : magnitude < 1000                                    ? 1
                                                                             : 0;
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  return text.data();
}

std::string WithUnit(double value, const std::string& unit) {
  return unit.empty() ? Number(value) : Number(value) + " " + unit;
}

std::string ComparedText(const Row& row) {
  if (!row.floor) return "-";
  if (row.measure == Row::Measure::kRatio) {
    return *row.floor > 0 ? Number(row.figure / *row.floor) + "x" : "-";
  }
  const double difference = row.figure - *row.floor;
  std::string text = difference >= 0 ? "+" : "";
  text += WithUnit(difference, row.unit);
  return text;
}

std::string ResultText(const Row& row) {
  if (!row.error.empty()) return "FAIL";
  const std::optional<bool> pass = row.Pass();
  if (!pass) return "scale";
  return *pass ? "pass" : "FAIL";
}

const char* MeasureName(Row::Measure measure) {
  switch (measure) {
    case Row::Measure::kFigure:
      return "figure";
    case Row::Measure::kDifference:
      return "difference";
    case Row::Measure::kRatio:
      return "ratio";
  }
  return "figure";
}

}  // namespace

std::optional<double> Row::Compared() const {
  if (!error.empty()) return std::nullopt;
  switch (measure) {
    case Measure::kFigure:
      return figure;
    case Measure::kDifference:
      if (!floor) return std::nullopt;
      return figure - *floor;
    case Measure::kRatio:
      if (!floor || *floor <= 0) return std::nullopt;
      return figure / *floor;
  }
  return std::nullopt;
}

std::optional<bool> Row::Pass() const {
  if (!error.empty()) return false;
  if (!limit) return std::nullopt;
  const std::optional<double> compared = Compared();
  if (!compared) return false;
  return strict ? *compared < *limit : *compared <= *limit;
}

std::string FormatTable(const Report& report) {
  std::vector<std::array<std::string, 6>> lines;
  lines.push_back({"Benchmark", "Figure", "Floor", "vs floor", "Target", "Result"});
  for (const Row& row : report.rows) {
    if (!row.error.empty()) {
      lines.push_back({row.name, "not measured", "-", "-", row.target, "FAIL"});
      continue;
    }
    lines.push_back({row.name, WithUnit(row.figure, row.unit),
                     row.floor ? WithUnit(*row.floor, row.unit) : "-", ComparedText(row),
                     row.target.empty() ? "-" : row.target, ResultText(row)});
  }
  std::array<std::size_t, 6> widths{};
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], line[i].size());
    }
  }
  std::string table;
  const auto add_line = [&](const std::array<std::string, 6>& line) {
    std::string text = "| ";
    for (std::size_t i = 0; i < line.size(); ++i) {
      // Text left, numbers right, as a reader scans them.
      const std::string pad(widths[i] - line[i].size(), ' ');
      const bool numeric = i >= 1 && i <= 3;
      text += (numeric ? pad + line[i] : line[i] + pad) + " |" + (i + 1 < line.size() ? " " : "");
    }
    table += text + "\n";
  };
  add_line(lines.front());
  std::string rule = "|";
  for (std::size_t i = 0; i < widths.size(); ++i) {
    const bool numeric = i >= 1 && i <= 3;
    rule += std::string(widths[i] + 1, '-') + (numeric ? ":" : "-") + "|";
  }
  table += rule + "\n";
  for (std::size_t i = 1; i < lines.size(); ++i) add_line(lines[i]);

  int passed = 0;
  int failed = 0;
  for (const Row& row : report.rows) {
    const std::optional<bool> pass = row.Pass();
    if (pass) ++(*pass ? passed : failed);
  }
  table += "\nLoad average before: " + report.load_before + "; after: " + report.load_after + "\n";
  for (const Row& row : report.rows) {
    if (!row.error.empty()) table += row.name + ": " + row.error + "\n";
  }
  table += std::to_string(passed);
  table += " passed, " + std::to_string(failed) + " failed\n";
  return table;
}

std::string FormatJson(const Report& report) {
  QJsonArray rows;
  for (const Row& row : report.rows) {
    QJsonObject object{{"name", QString::fromStdString(row.name)},
                       {"unit", QString::fromStdString(row.unit)},
                       {"measure", MeasureName(row.measure)},
                       {"target", QString::fromStdString(row.target)},
                       {"detail", QString::fromStdString(row.detail)}};
    if (row.error.empty()) {
      object.insert("figure", row.figure);
    } else {
      object.insert("error", QString::fromStdString(row.error));
    }
    if (row.floor) object.insert("floor", *row.floor);
    if (const std::optional<double> compared = row.Compared(); compared && row.floor) {
      object.insert(row.measure == Row::Measure::kRatio ? "ratio" : "difference",
                    row.measure == Row::Measure::kRatio ? *compared : row.figure - *row.floor);
    }
    if (row.limit) object.insert("limit", *row.limit);
    const std::optional<bool> pass = row.Pass();
    object.insert("result", pass ? QJsonValue(*pass) : QJsonValue(QStringLiteral("scale")));
    rows.append(object);
  }
  const QJsonObject root{{"load_before", QString::fromStdString(report.load_before)},
                         {"load_after", QString::fromStdString(report.load_after)},
                         {"passed", AllPassed(report)},
                         {"rows", rows}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool AllPassed(const Report& report) {
  return std::all_of(report.rows.begin(), report.rows.end(),
                     [](const Row& row) { return row.Pass().value_or(true); });
}

}  // namespace korvalen::bench
