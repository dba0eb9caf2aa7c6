// BuildFrame and the command builders per call, for scale beside the microseconds of the line.
#include <benchmark/benchmark.h>

#include "protocol/frame.h"

namespace {

void BM_BuildFrame(benchmark::State& state) {
  int id = 0;
  for (auto _ : state) {
    korvalen::CommandFrame frame = korvalen::BuildFrame(korvalen::CMD_SPEED, id, 1 + id % 100);
    benchmark::DoNotOptimize(frame);
    id = (id + 1) & 127;
  }
}
BENCHMARK(BM_BuildFrame);

void BM_PositionFrame(benchmark::State& state) {
  int position = 600;
  for (auto _ : state) {
    korvalen::CommandFrame frame = korvalen::PositionFrame(5, position);
    benchmark::DoNotOptimize(frame);
    position = position == 2400 ? 600 : position + 1;
  }
}
BENCHMARK(BM_PositionFrame);

}  // namespace

BENCHMARK_MAIN();
