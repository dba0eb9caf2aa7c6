#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/soak/soak_report.h"

namespace korvalen::soak {

inline constexpr std::size_t kResidentGrowthLimit = std::size_t{1} << 20;

// Every reason the run failed, empty when it passed. With `bound_memory` false the resident
// memory is reported but not judged.
[[nodiscard]] std::vector<std::string> Faults(const SoakReport& report, bool bound_memory);

// The figures, one line each, then the faults or "PASS".
[[nodiscard]] std::string Describe(const SoakReport& report, bool bound_memory);

}  // namespace korvalen::soak
