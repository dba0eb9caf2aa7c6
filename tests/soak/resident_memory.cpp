#include "tests/soak/resident_memory.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace korvalen::soak {

std::optional<std::size_t> ParseResidentBytes(std::string_view status) {
  constexpr std::string_view kKey = "VmRSS:";
  std::size_t at = 0;
  while (at < status.size()) {
    const std::size_t end = std::min(status.find('\n', at), status.size());
    std::string_view line = status.substr(at, end - at);
    at = end + 1;
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    const std::size_t digits = line.find_first_not_of(" \t");
    if (digits == std::string_view::npos) return std::nullopt;
    line.remove_prefix(digits);
    std::size_t kib = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), kib);
    if (error != std::errc() || std::string_view(rest, line.data() + line.size()) != " kB" ||
        kib > std::numeric_limits<std::size_t>::max() / 1024) {
      return std::nullopt;
    }
    return kib * 1024;
  }
  return std::nullopt;
}

std::optional<std::size_t> ResidentBytes() {
  std::ifstream file("/proc/self/status");
  const std::string status{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return ParseResidentBytes(status);
}

}  // namespace korvalen::soak
