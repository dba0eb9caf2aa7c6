#pragma once

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <regex>
#include <string>

#include "panel/number_text.h"

namespace korvalen::testing {

// A slow reading of operator numbers that shares nothing with the panel's: a regular expression
// for the shape, strtod for the value (in the "C" locale) and the floating-point unit's own
// round-to-nearest-even. Texts of a few thousand characters at most: the expression recurses.
inline std::optional<double> ReferenceNumber(const std::string& text) {
  static const std::regex shape(
      R"(^[ \t]*[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*$)");
  if (text.find('\0') != std::string::npos || !std::regex_match(text, shape)) return std::nullopt;
  const double value = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// What converting a text that reads as `number` to a T must give.
template <typename T>
Converted<T> ReferenceWhole(std::optional<double> number) {
  if (!number) return {NumberStatus::kNotANumber, T{}};
  const double whole = std::nearbyint(*number);
  if (whole < std::numeric_limits<T>::min() || whole > std::numeric_limits<T>::max()) {
    return {NumberStatus::kOutOfRange, T{}};
  }
  return {NumberStatus::kOk, static_cast<T>(whole)};
}

// Whether a conversion gave what the reference says; the value counts only for a number in range.
template <typename T>
bool Same(const Converted<T>& got, const Converted<T>& expected) {
  return got.status == expected.status && (!expected.Ok() || got.value == expected.value);
}

}  // namespace korvalen::testing
