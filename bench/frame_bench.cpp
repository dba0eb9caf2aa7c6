#include "bench/benchmarks.h"
#include "protocol/frame.h"

namespace korvalen::bench {
namespace {

// Nanoseconds per call of `build` over enough calls to dwarf the clock's own cost.
template <typename Build>
Row PerCall(const std::string& name, Build build) {
  constexpr int kCalls = 5'000'000;
  volatile std::uint8_t sink = 0;  // keeps every frame from being optimised away
  const auto start = Clock::now();
  for (int i = 0; i < kCalls; ++i) sink = static_cast<std::uint8_t>(sink ^ build(i)[4]);
  return {"Frame building: " + name + " per call",
          "ns",
          Micros(Clock::now() - start) * 1000 / kCalls,
          {},
          Row::Measure::kFigure,
          {},
          Cat(kCalls, " calls in a row, check byte folded into ", int{sink})};
}

}  // namespace

std::vector<Row> FrameRows() {
  return {PerCall("BuildFrame", [](int i) { return BuildFrame(CMD_SPEED, i & 127, 1 + i % 100); }),
          PerCall("PositionFrame", [](int i) { return PositionFrame(5, 600 + i % 1801); })};
}

}  // namespace korvalen::bench
