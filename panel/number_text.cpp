#include "panel/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace korvalen {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The shape of a number, checked by hand: std::from_chars alone would also take "inf", "nan"
// and hexadecimal forms, none of which an operator means as a port or an ID.
struct Shape {
  bool valid = false;
  // Where the first significant (non-zero) digit sits, as a power of ten, before the exponent.
  // Zero digits only: no significant digit.
  std::optional<long long> lead_power;
  long long exponent = 0;
};

Shape ReadShape(std::string_view s) {
  Shape shape;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;

  long long integer_digits = 0;
  long long fraction_digits = 0;
  std::optional<long long> lead_integer_index;  // among the integer digits
  bool seen_point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigit(c)) {
      const bool significant = c != '0' && !lead_integer_index && !shape.lead_power;
      if (seen_point) {
        if (significant) shape.lead_power = -(fraction_digits + 1);
        ++fraction_digits;
      } else {
        if (significant) lead_integer_index = integer_digits;
        ++integer_digits;
      }
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (integer_digits + fraction_digits == 0) return shape;
  if (lead_integer_index) shape.lead_power = integer_digits - *lead_integer_index - 1;

  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t first = i;
    long long exponent = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
      // Beyond this, the value is zero or infinite whatever the digits: stop growing.
      if (exponent < 1'000'000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (i == first) return shape;
    shape.exponent = negative ? -exponent : exponent;
  }
  shape.valid = i == s.size();
  return shape;
}

template <typename T>
Converted<T> ToWhole(std::string_view text) {
  const std::optional<double> number = ParseNumber(text);
  if (!number) return {NumberStatus::kNotANumber, T{}};
  const double whole = RoundHalfEven(*number);
  if (whole < static_cast<double>(std::numeric_limits<T>::min()) ||
      whole > static_cast<double>(std::numeric_limits<T>::max())) {
    return {NumberStatus::kOutOfRange, T{}};
  }
  return {NumberStatus::kOk, static_cast<T>(whole)};
}

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  const std::string_view s = TrimBlanks(text);
  const Shape shape = ReadShape(s);
  if (!shape.valid) return std::nullopt;

  // from_chars takes no leading '+'.
  const bool negative = s.front() == '-';
  std::string_view unsigned_part = s;
  if (s.front() == '+' || s.front() == '-') unsigned_part.remove_prefix(1);

  double value = 0.0;
  const auto [end, error] =
      std::from_chars(unsigned_part.data(), unsigned_part.data() + unsigned_part.size(), value,
                      std::chars_format::general);
  if (end != unsigned_part.data() + unsigned_part.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large to represent is not a finite number.
    const bool tiny = shape.lead_power && *shape.lead_power + shape.exponent < 0;
    if (!tiny) return std::nullopt;
    value = 0.0;
  } else if (error != std::errc{}) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

bool IsNumber(std::string_view text) {
  return ParseNumber(text).has_value();
}

double RoundHalfEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1.0;
  return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

Converted<std::uint8_t> ToByte(std::string_view text) {
  return ToWhole<std::uint8_t>(text);
}

Converted<std::int16_t> ToInt16(std::string_view text) {
  return ToWhole<std::int16_t>(text);
}

}  // namespace korvalen
