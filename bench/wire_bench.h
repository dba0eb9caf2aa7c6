#pragma once

#include <vector>

#include "bench/report.h"

namespace korvalen::bench {

// A click on Feedback until the request is readable on the device's side, beside a bare write and
// read of the same 7 bytes on the same pseudo-terminal. Median and p99 rows.
[[nodiscard]] std::vector<Row> CommandLatencyRows(int samples);

// The same click with the --log writer attached, beside the same click without it, alternating on
// one panel. Median and p99 rows.
[[nodiscard]] std::vector<Row> LoggedCommandLatencyRows(int samples);

// A click on Feedback until the device's immediate answer is shown, beside a bare request and
// answer over the same pseudo-terminal and the same answering device. Median and p99 rows.
[[nodiscard]] std::vector<Row> RoundTripRows(int samples);

}  // namespace korvalen::bench
