// Feeds arbitrary text to the operator-number conversions and holds them to the reference reading
// (the fuzzer runs in the "C" locale).
#include <cfenv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "panel/number_text.h"
#include "tests/panel/reference_number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korvalen;
  using namespace korvalen::testing;
  if (size > 4096) return 0;
  std::fesetround(FE_TONEAREST);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<double> number = ReferenceNumber(text);
  if (IsNumber(text) != number.has_value() ||
      !Same(ToByte(text), ReferenceWhole<std::uint8_t>(number)) ||
      !Same(ToInt16(text), ReferenceWhole<std::int16_t>(number))) {
    std::abort();
  }
  return 0;
}
