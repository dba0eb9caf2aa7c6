#pragma once

#include <cstdint>

#include "bench/report.h"

namespace korvalen::bench {

// A click on Feedback until the request is readable on the device's side, without and with the
// --log writer attached, beside a bare write and read of the same 7 bytes on the same line.
[[nodiscard]] std::vector<Row> CommandLatencyRows(int samples);

// A click on Feedback until the device's immediate answer is shown, beside a bare request and
// answer over the same line and the same answering device.
[[nodiscard]] std::vector<Row> RoundTripRows(int samples);

// How long the soak streams: until `frames` frames went or `duration` passed, whichever comes
// first; at least one of the two is set.
struct SoakLimits {
  std::optional<std::uint64_t> frames;
  std::optional<std::chrono::seconds> duration;
};

// The position and speed thumbs dragged end to end with real mouse events, a new ID before each
// drag, every frame checked in order and byte for byte, and resident memory after a warm-up held
// against its end. Rows for the table, and one line with the verdict in the first row's detail.
[[nodiscard]] std::vector<Row> SoakRows(const SoakLimits& limits);

// Programs started from here, on the X display, with what they print going to `log`.
struct Programs {
  std::string korvalen;
  std::string minimal_window;  // a Qt Widgets window with one button, built alongside
  std::string log;
};

// Process start to the window's first paint, and resident memory one second later, for the panel
// beside the minimal window, started alternately `runs` times each.
[[nodiscard]] std::vector<Row> StartupRows(const Programs& programs, int runs);

// The panel connected to a pseudo-terminal by a real click on Connect, then left alone beside the
// minimal window left alone: CPU time and wakeups over `seconds`.
[[nodiscard]] std::vector<Row> IdleRows(const Programs& programs, int seconds);

// BuildFrame and PositionFrame per call, for scale beside the microseconds of the line.
[[nodiscard]] std::vector<Row> FrameRows();

}  // namespace korvalen::bench
