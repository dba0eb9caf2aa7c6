#include <gtest/gtest.h>

#include "serial/port_table.h"

namespace korvalen {
namespace {

// What --reconnect takes for the lost device come back under its port number.
TEST(SameDevice, BySerialNumberWhereTheHostGaveOneElseByPath) {
  struct Case {
    PortEntry before;
    PortEntry now;
    bool same;
  };
  const Case cases[] = {
      {{"/dev/ttyUSB0", "FT232R", "A1"}, {"/dev/ttyUSB1", "FT232R", "A1"}, true},
      {{"/dev/ttyUSB0", "FT232R", "A1"}, {"/dev/ttyUSB0", "FT232R", "B2"}, false},
      {{"/dev/ttyUSB0", "FT232R", "A1"}, {"/dev/ttyUSB0", "CH340", ""}, false},
      {{"/dev/serial/by-id/usb-x", "named with --port", ""},
       {"/dev/serial/by-id/usb-x", "named with --port", ""},
       true},
      {{"/dev/ttyS0", "", ""}, {"/dev/ttyS1", "", ""}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before.path + " -> " + c.now.path);
    EXPECT_EQ(SameDevice(c.before, c.now), c.same);
  }
}

}  // namespace
}  // namespace korvalen
