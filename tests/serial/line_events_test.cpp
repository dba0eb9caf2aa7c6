#include "serial/line_events.h"

#include <gtest/gtest.h>

#include "serial/serial_link.h"

namespace korvalen {
namespace {

using Codes = std::vector<std::int16_t>;

TEST(LineEvents, ReportsEachKindThatGrewOnceInAFixedOrder) {
  struct Case {
    const char* name;
    LineErrorCounts before;
    LineErrorCounts after;
    Codes expected;
  };
  const Case cases[] = {
      {"nothing new", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, {}},
      {"break", {}, {1, 0, 0, 0, 0}, {SerialLink::kEventBreak}},
      {"framing, twice", {}, {0, 2, 0, 0, 0}, {SerialLink::kEventFrame}},
      {"overrun", {0, 0, 7, 0, 0}, {0, 0, 8, 0, 0}, {SerialLink::kEventOverrun}},
      {"buffer overflow", {}, {0, 0, 0, 1, 0}, {SerialLink::kEventRxOver}},
      {"parity", {}, {0, 0, 0, 0, 3}, {SerialLink::kEventRxParity}},
      {"all at once",
       {},
       {1, 1, 1, 1, 1},
       {SerialLink::kEventBreak, SerialLink::kEventFrame, SerialLink::kEventOverrun,
        SerialLink::kEventRxOver, SerialLink::kEventRxParity}},
      {"counter wrapped",
       {0, 2147483647, 0, 0, 0},
       {0, -2147483647 - 1, 0, 0, 0},
       {SerialLink::kEventFrame}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LineEventCodes(c.before, c.after), c.expected);
  }
}

}  // namespace
}  // namespace korvalen
