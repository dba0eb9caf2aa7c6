#include <thread>

#include "bench/benchmarks.h"
#include "bench/process.h"
#include "bench/window_watch.h"

namespace korvalen::bench {
namespace {

struct Start {
  double painted_ms = 0;
  double rss_kib = 0;
};

Start StartOnce(WindowWatch& watch, const std::string& program, const std::string& log) {
  const auto start = Clock::now();
  const Child child = StartOnX(program, {}, log);
  const std::optional<WindowWatch::Shown> shown =
      watch.WaitFor(static_cast<pid_t>(child->processId()), start + std::chrono::seconds(30));
  if (!shown) throw std::runtime_error(program + " showed no window within 30 s");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::optional<std::int64_t> rss =
      StatusKiB(static_cast<pid_t>(child->processId()), "VmRSS");
  if (!rss) throw std::runtime_error(program + " ended before its memory was read");
  return {Micros(shown->painted - start) / 1000, static_cast<double>(*rss)};
}

// The median of one figure over the starts, and every start's figure for the detail.
double Median(const std::vector<Start>& starts, double Start::*field, std::string& all) {
  std::vector<double> values;
  for (const Start& start : starts) {
    values.push_back(start.*field);
    all += Cat(" ", start.*field);
  }
  return Summarize(values).median;
}

}  // namespace

std::vector<Row> StartupRows(const Programs& programs, int runs) {
  WindowWatch watch;
  // One start each first, so both find the libraries and fonts in the page cache.
  (void)StartOnce(watch, programs.korvalen, programs.log);
  (void)StartOnce(watch, programs.minimal_window, programs.log);
  std::vector<Start> panel;
  std::vector<Start> minimal;
  for (int i = 0; i < runs; ++i) {
    const bool panel_first = i % 2 == 0;
    (panel_first ? panel : minimal)
        .push_back(StartOnce(watch, panel_first ? programs.korvalen : programs.minimal_window,
                             programs.log));
    (panel_first ? minimal : panel)
        .push_back(StartOnce(watch, panel_first ? programs.minimal_window : programs.korvalen,
                             programs.log));
  }
  std::string times = "; panel";
  std::string memory = times;
  const double panel_ms = Median(panel, &Start::painted_ms, times);
  const double panel_kib = Median(panel, &Start::rss_kib, memory);
  times += "; minimal window";
  memory += "; minimal window";
  const double minimal_ms = Median(minimal, &Start::painted_ms, times);
  const double minimal_kib = Median(minimal, &Start::rss_kib, memory);
  const std::string how =
      Cat("median of ", runs,
          " starts each, alternating, under Xvfb; floor: ", "a Qt Widgets window with one button");
  return {Row("Start-up: process start to first paint", "ms", panel_ms, minimal_ms,
              Row::Measure::kRatio, 1.2, how + times),
          Row("Start-up: resident memory 1 s after", "KiB", panel_kib, minimal_kib,
              Row::Measure::kRatio, 1.25, how + memory)};
}

}  // namespace korvalen::bench
