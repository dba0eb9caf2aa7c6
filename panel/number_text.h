#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvalen {

// The numbers an operator types into the port and ID fields.
//
// A number is: optional blanks (space or tab), an optional sign, decimal digits with an optional
// fraction (".5", "3.", "3.5"), an optional exponent ("1e2"), optional blanks, with at least one
// digit and '.' as the decimal point whatever the locale. Anything else is not a number, nor is a
// value too large to be a finite double.
[[nodiscard]] std::optional<double> ParseNumber(std::string_view text);
[[nodiscard]] bool IsNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
[[nodiscard]] double RoundHalfEven(double value);

enum class NumberStatus { kOk, kNotANumber, kOutOfRange };

template <typename T>
struct Converted {
  NumberStatus status = NumberStatus::kNotANumber;
  T value{};

  [[nodiscard]] bool Ok() const { return status == NumberStatus::kOk; }
};

// The text as a byte 0..255, after rounding.
[[nodiscard]] Converted<std::uint8_t> ToByte(std::string_view text);
// The text as a signed 16-bit integer -32768..32767, after rounding.
[[nodiscard]] Converted<std::int16_t> ToInt16(std::string_view text);

}  // namespace korvalen
