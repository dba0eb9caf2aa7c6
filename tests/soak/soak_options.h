#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvalen::soak {

// How long to stream: until `frames` frames were sent or `duration` passed, whichever comes
// first; at least one of the two is set. Memory is first measured once `warmup` frames went, so
// the caches every toolkit fills on first use are not taken for growth.
struct SoakOptions {
  std::optional<std::uint64_t> frames;
  std::optional<std::chrono::seconds> duration;
  std::uint64_t warmup = 2000;
};

struct ParsedOptions {
  std::optional<SoakOptions> options;  // none when the arguments are wrong or help was asked
  std::string message;                 // why, or the usage text
  bool help = false;                   // the usage was asked for: not an error
};

[[nodiscard]] ParsedOptions ParseSoakOptions(std::span<const std::string_view> args);

[[nodiscard]] std::string SoakUsage();

}  // namespace korvalen::soak
