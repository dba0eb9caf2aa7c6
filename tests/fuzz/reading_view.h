#pragma once

#include <cstdlib>
#include <string>

#include "../panel/recording_view.h"

namespace korvalen::testing {

// A recording view that counts how often each reading field is written, so a fuzzer can hold the
// panel to one reading per receive event.
class ReadingView : public RecordingView {
 public:
  void SetText(Control field, const std::string& text) override {
    if (field == Control::Text3) ++current_writes;
    if (field == Control::Text4) ++voltage_writes;
    RecordingView::SetText(field, text);
  }
  void ResetCounts() { current_writes = voltage_writes = 0; }

  int current_writes = 0;
  int voltage_writes = 0;
};

inline void Require(bool condition) {
  if (!condition) std::abort();
}

inline std::string ExpectedReading(std::uint8_t value) {
  return " " + std::to_string(value);
}

}  // namespace korvalen::testing
