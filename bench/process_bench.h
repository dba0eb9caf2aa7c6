#pragma once

#include <string>
#include <vector>

#include "bench/report.h"

namespace korvalen::bench {

struct Programs {
  std::string korvalen;
  std::string minimal_window;  // a Qt Widgets window with one button, built alongside
  std::string log;             // where the programs' own output goes
};

// Process start to the window's first paint, and resident memory one second later, for the panel
// beside the minimal window, started alternately `runs` times each. Needs an X display.
[[nodiscard]] std::vector<Row> StartupRows(const Programs& programs, int runs);

// The panel connected to a pseudo-terminal by a real click on Connect, the focus on that button,
// then left alone: CPU time and context switches over `seconds`, then the system calls strace sees
// over as many seconds again. The minimal window, left alone as well, is the floor. Needs an X
// display.
[[nodiscard]] std::vector<Row> IdleRows(const Programs& programs, int seconds);

}  // namespace korvalen::bench
