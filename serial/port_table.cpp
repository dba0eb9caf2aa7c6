#include "serial/port_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace korvalen {
namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view DeviceName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsUsbAdapter(std::string_view path) {
  constexpr std::array<std::string_view, 3> kPrefixes = {"ttyUSB", "ttyACM", "cu.usb"};
  const std::string_view name = DeviceName(path);
  return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                     [name](std::string_view prefix) { return name.starts_with(prefix); });
}

// Compares two digit runs by value; leading zeros only break ties.
int CompareNumbers(std::string_view a, std::string_view b) {
  const auto strip = [](std::string_view s) {
    const std::size_t first = s.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : s.substr(first);
  };
  const std::string_view sa = strip(a);
  const std::string_view sb = strip(b);
  if (sa.size() != sb.size()) {
    return sa.size() < sb.size() ? -1 : 1;
  }
  if (const int c = sa.compare(sb); c != 0) {
    return c;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const std::size_t i_end =
          std::find_if_not(a.begin() + static_cast<std::ptrdiff_t>(i), a.end(), IsDigit) -
          a.begin();
      const std::size_t j_end =
          std::find_if_not(b.begin() + static_cast<std::ptrdiff_t>(j), b.end(), IsDigit) -
          b.begin();
      const int c = CompareNumbers(std::string_view(a).substr(i, i_end - i),
                                   std::string_view(b).substr(j, j_end - j));
      if (c != 0) {
        return c < 0;
      }
      i = i_end;
      j = j_end;
    } else {
      if (a[i] != b[j]) {
        return a[i] < b[j];
      }
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

PortTable PortTable::Numbered(std::vector<PortEntry> reported) {
  std::stable_sort(reported.begin(), reported.end(), [](const PortEntry& a, const PortEntry& b) {
    const bool usb_a = IsUsbAdapter(a.path);
    const bool usb_b = IsUsbAdapter(b.path);
    if (usb_a != usb_b) {
      return usb_a;
    }
    return NaturalLess(std::string(DeviceName(a.path)), std::string(DeviceName(b.path)));
  });
  PortTable table;
  int number = 0;
  for (PortEntry& port : reported) {
    table.Put(++number, std::move(port));
  }
  return table;
}

PortTable PortTable::One(std::string path, std::string description) {
  return PortTable({{1, {std::move(path), std::move(description), ""}}});
}

void PortTable::Put(int number, PortEntry port) {
  ports_.insert_or_assign(number, std::move(port));
}

std::optional<PortEntry> PortTable::Entry(int number) const {
  if (const auto found = ports_.find(number); found != ports_.end()) {
    return found->second;
  }
  return std::nullopt;
}

std::string PortTable::Describe() const {
  if (ports_.empty()) {
    return "no serial ports found";
  }
  std::string text;
  for (const auto& [number, port] : ports_) {
    if (!text.empty()) {
      text += '\n';
    }
    text += std::to_string(number) + ": " + port.path;
    if (!port.description.empty()) {
      text += "  " + port.description;
    }
    if (!port.serial_number.empty()) {
      text += (port.description.empty() ? "  (" : " (") + port.serial_number + ")";
    }
  }
  return text;
}

bool IsSameDevice(const PortEntry& lost, const PortEntry& now) {
  if (!lost.serial_number.empty() || !now.serial_number.empty()) {
    return now.serial_number == lost.serial_number;
  }
  if (!lost.by_id.empty() || !now.by_id.empty()) return now.by_id == lost.by_id;
  return now.path == lost.path;
}

PortSource FixedPorts(PortTable table) {
  return [table = std::move(table)] { return table; };
}

}  // namespace korvalen
