#include "serial/line_events.h"

#include "serial/serial_link.h"

namespace korvalen {

std::vector<std::int16_t> LineEventCodes(const LineErrorCounts& before,
                                         const LineErrorCounts& after) {
  std::vector<std::int16_t> codes;
  const auto add_if_grew = [&codes](int was, int is, std::int16_t code) {
    if (is != was) {
      codes.push_back(code);
    }
  };
  add_if_grew(before.breaks, after.breaks, SerialLink::kEventBreak);
  add_if_grew(before.framing, after.framing, SerialLink::kEventFrame);
  add_if_grew(before.overrun, after.overrun, SerialLink::kEventOverrun);
  add_if_grew(before.buffer_overrun, after.buffer_overrun, SerialLink::kEventRxOver);
  add_if_grew(before.parity, after.parity, SerialLink::kEventRxParity);
  return codes;
}

}  // namespace korvalen
