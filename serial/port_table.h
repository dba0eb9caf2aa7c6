#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvalen {

// One serial port, as the operator would recognise it.
struct PortEntry {
  std::string path;  // "/dev/ttyUSB0"
  std::string description;
  std::string serial_number;
  // Its name in /dev/serial/by-id where the host gives one there (a USB adapter on Linux), which
  // stays the same when the adapter comes back under another path.
  std::string by_id = {};

  friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// True when a sorts before b with digit runs compared as numbers ("ttyUSB2" before "ttyUSB10").
[[nodiscard]] bool NaturalLess(const std::string& a, const std::string& b);

// The ports an operator can name by number, as they stood when the table was made.
class PortTable {
 public:
  PortTable() = default;
  explicit PortTable(std::map<int, PortEntry> ports) : ports_(std::move(ports)) {}

  // The ports a host reports, numbered from 1: USB adapters first, because an operator with one
  // adapter plugged in expects it to be port 1; then the rest; each group in natural order of the
  // device name.
  [[nodiscard]] static PortTable Numbered(std::vector<PortEntry> reported);

  // Port 1 is `path` and no other number names a port: a simulated device, a pseudo-terminal.
  [[nodiscard]] static PortTable One(std::string path, std::string description = {});

  // Makes `number` name `port`, in place of whatever it named before.
  void Put(int number, PortEntry port);

  // None for a number that names no port.
  [[nodiscard]] std::optional<PortEntry> Entry(int number) const;

  // "1: /dev/ttyUSB0  FT232R USB UART (A1B2C3)", a line a port, or a line saying there are none.
  [[nodiscard]] std::string Describe() const;

  friend bool operator==(const PortTable&, const PortTable&) = default;

 private:
  std::map<int, PortEntry> ports_;
};

// Whether `now`, found under the number of the port `lost`, is the device that was lost: the same
// serial number where the adapter has one (a different serial number never, nor a device that has
// one where the lost had none); else the same /dev/serial/by-id name; else the same path, so that
// without a serial number any device at that path is taken.
[[nodiscard]] bool IsSameDevice(const PortEntry& lost, const PortEntry& now);

// Where a link finds the ports: asked once for each question, so an adapter plugged in after start
// is found and one answer serves both the number and any message that lists the ports.
using PortSource = std::function<PortTable()>;

// A source whose table never changes (a simulated device, a test's pseudo-terminal).
[[nodiscard]] PortSource FixedPorts(PortTable table);

}  // namespace korvalen
