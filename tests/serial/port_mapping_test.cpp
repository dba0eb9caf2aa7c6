#include "serial/port_mapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalen {
namespace {

TEST(ParsePortMapping, TakesNumberEqualsPath) {
  struct Case {
    std::string text;
    int port;
    std::string path;
  };
  for (const Case& c :
       std::vector<Case>{{"1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
                         {"255=/dev/pts/3", 255, "/dev/pts/3"},
                         {"7=/dev/serial/by-id/usb-FTDI=x", 7, "/dev/serial/by-id/usb-FTDI=x"}}) {
    const auto parsed = ParsePortMapping(c.text);
    ASSERT_TRUE((std::holds_alternative<std::pair<int, std::string>>(parsed))) << c.text;
    EXPECT_EQ(std::get<0>(parsed), (std::pair<int, std::string>{c.port, c.path}));
  }
}

TEST(ParsePortMapping, RefusesMalformedMappingsWithAReason) {
  for (const std::string text : {"/dev/ttyUSB0", "0=/dev/x", "256=/dev/x", "-1=/dev/x", "=/dev/x",
                                 "1x=/dev/x", "1.0=/dev/x", " 1=/dev/x", "3=", ""}) {
    const auto parsed = ParsePortMapping(text);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text;
    EXPECT_NE(std::get<std::string>(parsed).find("--port"), std::string::npos);
  }
}

TEST(WithMappedPorts, MappedNumbersTakeTheirPlaceInTheHostTable) {
  const PortSource host = FixedPorts(
      PortTable({{1, {"/dev/ttyUSB0", "FT232R USB UART", ""}}, {2, {"/dev/ttyS0", "", ""}}}));
  const PortTable table = WithMappedPorts({{2, "/dev/pts/9"}, {5, "/dev/pts/4"}}, host)();
  EXPECT_EQ(table.Path(1), std::optional<std::string>("/dev/ttyUSB0"));
  EXPECT_EQ(table.Path(2), std::optional<std::string>("/dev/pts/9"));
  EXPECT_EQ(table.Path(5), std::optional<std::string>("/dev/pts/4"));
  EXPECT_EQ(table.Path(3), std::nullopt);
  EXPECT_EQ(table.Describe(),
            "1: /dev/ttyUSB0  FT232R USB UART\n2: /dev/pts/9  named with --port\n"
            "5: /dev/pts/4  named with --port");
  EXPECT_EQ(WithMappedPorts({{1, "/dev/pts/1"}}, nullptr)().Path(2), std::nullopt);
}

}  // namespace
}  // namespace korvalen
