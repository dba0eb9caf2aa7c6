#pragma once

#include <string>

namespace korvalen {

enum class Parity { kNone, kEven, kOdd, kMark, kSpace };
enum class StopBits { kOne, kOneAndHalf, kTwo };

// The line settings as values, so the text an operator or the panel gives is checked once, before
// any port is touched.
struct LineSettings {
  int baud = 9600;
  Parity parity = Parity::kNone;
  int data_bits = 8;
  StopBits stop_bits = StopBits::kOne;

  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses "19200,N,8,2": baud, parity (N, E, O, M, S), data bits (5..8), stop bits (1, 1.5, 2).
// Throws SerialError naming what is wrong.
[[nodiscard]] LineSettings ParseLineSettings(const std::string& text);

}  // namespace korvalen
