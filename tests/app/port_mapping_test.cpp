#include "app/port_mapping.h"

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

TEST(WithMappedPorts, MappedNumbersComeBeforeTheHostTable) {
  const auto host = [](int port) -> std::optional<std::string> {
    if (port == 1 || port == 2) return "/dev/host" + std::to_string(port);
    return std::nullopt;
  };
  const auto table = WithMappedPorts({{2, "/dev/pts/9"}, {5, "/dev/pts/4"}}, host);
  EXPECT_EQ(table(1), std::optional<std::string>("/dev/host1"));
  EXPECT_EQ(table(2), std::optional<std::string>("/dev/pts/9"));
  EXPECT_EQ(table(5), std::optional<std::string>("/dev/pts/4"));
  EXPECT_EQ(table(3), std::nullopt);
  EXPECT_EQ(WithMappedPorts({{1, "/dev/pts/1"}}, nullptr)(2), std::nullopt);
}

TEST(DescribeWithMappedPorts, ListsMappedPortsAndHidesTheHostPortsTheyShadow) {
  const std::string host = "1: /dev/ttyUSB0  FT232R USB UART\n2: /dev/ttyS0\n";
  EXPECT_EQ(DescribeWithMappedPorts({{1, "/dev/pts/3"}}, host),
            "1: /dev/pts/3  (--port)\n2: /dev/ttyS0");
  EXPECT_EQ(DescribeWithMappedPorts({}, "no serial ports found"), "no serial ports found");
  EXPECT_EQ(DescribeWithMappedPorts({{12, "/dev/x"}}, "1: /dev/ttyS0"),
            "12: /dev/x  (--port)\n1: /dev/ttyS0");
}

}  // namespace
}  // namespace korvalen
