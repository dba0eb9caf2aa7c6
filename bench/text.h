#pragma once

#include <sstream>
#include <string>

namespace korvalen::bench {

// Text from numbers and words, for the table's details, with figures to one decimal.
template <typename... Parts>
[[nodiscard]] std::string Cat(const Parts&... parts) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(1);
  (text << ... << parts);
  return text.str();
}

}  // namespace korvalen::bench
