#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvalen::soak {

// What one soak run saw. "Sent" counts the frames the panel owed the device by the values the
// sliders took, worked out here from those values, not from what the panel did.
struct SoakReport {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint64_t mismatched = 0;
  std::size_t outstanding = 0;  // owed and never received
  std::size_t rejected = 0;     // frames the device refused for a wrong check byte
  std::size_t skipped = 0;      // bytes the device skipped looking for a frame header
  std::string first_mismatch;
  std::string failure;  // why the run could not start or stopped early; empty if it did not
  std::optional<std::size_t> rss_after_warmup;
  std::optional<std::size_t> rss_at_end;
  std::chrono::duration<double> elapsed{};
};

}  // namespace korvalen::soak
