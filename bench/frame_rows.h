#pragma once

#include <string>
#include <vector>

#include "bench/report.h"

namespace korvalen::bench {

// Runs the Google Benchmark program for frame building and turns its JSON into rows for scale.
[[nodiscard]] std::vector<Row> FrameRows(const std::string& program, const std::string& json_file,
                                         const std::string& log);

}  // namespace korvalen::bench
