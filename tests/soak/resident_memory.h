#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace korvalen::soak {

// The VmRSS line of a /proc/<pid>/status text, in bytes; none if it is missing or malformed.
[[nodiscard]] std::optional<std::size_t> ParseResidentBytes(std::string_view status);

// This process's resident memory now, from /proc/self/status.
[[nodiscard]] std::optional<std::size_t> ResidentBytes();

}  // namespace korvalen::soak
