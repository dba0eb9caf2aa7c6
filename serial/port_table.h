#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvalen {

// One serial port the host reports, as the operator would recognise it.
struct PortEntry {
  std::string path;  // "/dev/ttyUSB0"
  std::string description;
  std::string serial_number;
};

// True when a sorts before b with digit runs compared as numbers ("ttyUSB2" before "ttyUSB10").
[[nodiscard]] bool NaturalLess(const std::string& a, const std::string& b);

// The ports in numbering order: USB adapters first, because an operator with one adapter plugged
// in expects it to be port 1; then the rest; each group in natural order of the device name.
[[nodiscard]] std::vector<PortEntry> OrderPorts(std::vector<PortEntry> ports);

// The device path of port number `port` (from 1) in an ordered list; none for 0, negatives and
// numbers past the end.
[[nodiscard]] std::optional<std::string> PortPath(const std::vector<PortEntry>& ordered, int port);

// "1: /dev/ttyUSB0  FT232R USB UART (A1B2C3)" lines, or a line saying there are none.
[[nodiscard]] std::string DescribePorts(const std::vector<PortEntry>& ordered);

}  // namespace korvalen
