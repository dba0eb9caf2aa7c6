#pragma once

#include <cstdint>
#include <vector>

namespace korvalen {

// The driver's running totals of line errors; the link reports the ones that grew since it last
// looked, because the totals are all a serial driver keeps.
struct LineErrorCounts {
  int breaks = 0;
  int framing = 0;
  int overrun = 0;
  int buffer_overrun = 0;
  int parity = 0;
};

// The event codes for the kinds of error that grew from `before` to `after`, one per kind, in the
// order break, framing, overrun, receive-buffer overflow, parity.
[[nodiscard]] std::vector<std::int16_t> LineEventCodes(const LineErrorCounts& before,
                                                       const LineErrorCounts& after);

}  // namespace korvalen
