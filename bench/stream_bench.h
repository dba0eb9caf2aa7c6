#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/report.h"

namespace korvalen::bench {

// `events` Scroll events of HScroll2 as a drag raises them, back to back, and the Change of the
// release: every frame checked on the device's side, the panel's time per frame beside a bare
// flush and write, and the process's memory before and after.
[[nodiscard]] std::vector<Row> StreamingRows(int events);

// How long a soak streams: until `frames` frames went or `duration` passed, whichever comes first;
// at least one of the two is set.
struct SoakLimits {
  std::optional<std::uint64_t> frames;
  std::optional<std::chrono::seconds> duration;
};

struct SoakVerdict {
  bool passed = false;
  std::string line;  // "soak: PASS, ..." or "soak: FAIL, ...", with the figures
};

// The same path held for long: the position and speed thumbs dragged end to end with real mouse
// events, a new ID before each drag, every frame checked in order and byte for byte, and resident
// memory after a warm-up held against its end.
[[nodiscard]] SoakVerdict Soak(const SoakLimits& limits);

}  // namespace korvalen::bench
