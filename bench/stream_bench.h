#pragma once

#include <vector>

#include "bench/report.h"

namespace korvalen::bench {

// `events` Scroll events of HScroll2 as a drag raises them, back to back, and the Change of the
// release: every frame checked on the device's side, the panel's time per frame beside a bare
// flush and write, and the process's memory before and after.
[[nodiscard]] std::vector<Row> StreamingRows(int events);

}  // namespace korvalen::bench
