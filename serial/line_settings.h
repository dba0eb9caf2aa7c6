#pragma once

#include <string>

namespace korvalen {

enum class Parity { kNone, kEven, kOdd, kMark, kSpace };
enum class StopBits { kOne, kTwo };

// The line settings as values, so the text an operator or the panel gives is checked once, before
// any port is touched.
struct LineSettings {
  int baud = 9600;
  Parity parity = Parity::kNone;
  int data_bits = 8;
  StopBits stop_bits = StopBits::kOne;

  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses "19200,N,8,2": baud, parity (N, E, O, M, S), data bits (5..8), stop bits (1 or 2): what
// the serial port can put on the line everywhere. (1.5 stop bits exist only on some systems and
// only with 5 data bits; no device of ours uses them.)
// Throws SerialError naming what is wrong.
[[nodiscard]] LineSettings ParseLineSettings(const std::string& text);

}  // namespace korvalen
