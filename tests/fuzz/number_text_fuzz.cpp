// Feeds arbitrary text to the operator-number conversions and checks them against a slow,
// independent reference: a regular expression for the shape, strtod for the value (the fuzzer
// runs in the "C" locale) and the floating-point unit's own round-to-nearest-even.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

#include "panel/number_text.h"

namespace {

using korvalen::NumberStatus;

std::optional<double> ReferenceNumber(const std::string& text) {
  static const std::regex shape(
      R"(^[ \t]*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*$)");
  if (text.find('\0') != std::string::npos || !std::regex_match(text, shape)) return std::nullopt;
  const double value = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

template <typename T>
void CheckConversion(const std::string& text, korvalen::Converted<T> got, double lowest,
                     double highest) {
  const std::optional<double> reference = ReferenceNumber(text);
  if (!reference) {
    if (got.status != NumberStatus::kNotANumber) std::abort();
    return;
  }
  const double whole = std::nearbyint(*reference);
  if (whole < lowest || whole > highest) {
    if (got.status != NumberStatus::kOutOfRange) std::abort();
    return;
  }
  if (got.status != NumberStatus::kOk || got.value != static_cast<T>(whole)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  std::fesetround(FE_TONEAREST);
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckConversion(text, korvalen::ToByte(text), 0, 255);
  CheckConversion(text, korvalen::ToInt16(text), -32768, 32767);
  if (korvalen::IsNumber(text) != ReferenceNumber(text).has_value()) std::abort();
  return 0;
}
