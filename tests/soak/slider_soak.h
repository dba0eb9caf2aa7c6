#pragma once

#include "tests/soak/soak_options.h"
#include "tests/soak/soak_report.h"

namespace korvalen::soak {

// Connects the real window over the real serial link to the simulated device on a
// pseudo-terminal, then drags the position and speed thumbs end to end with real mouse events,
// a new ID before each drag, until the options say stop. Needs a QApplication.
[[nodiscard]] SoakReport RunSliderSoak(const SoakOptions& options);

}  // namespace korvalen::soak
