#include "serial/port_table.h"

#include <gtest/gtest.h>

namespace korvalen {
namespace {

std::vector<std::string> Paths(const PortTable& table) {
  std::vector<std::string> paths;
  for (int number = 1; const std::optional<std::string> path = table.Path(number); ++number) {
    paths.push_back(*path);
  }
  return paths;
}

std::vector<PortEntry> Entries(const std::vector<std::string>& paths) {
  std::vector<PortEntry> ports;
  for (const std::string& path : paths) {
    ports.push_back({path, "", ""});
  }
  return ports;
}

TEST(PortTable, NaturalOrderComparesDigitRunsAsNumbers) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"ttyUSB2", "ttyUSB10", true},
      {"ttyUSB10", "ttyUSB2", false},
      {"ttyS9", "ttyS10", true},
      {"ttyS1", "ttyS1", false},
      {"ttyS", "ttyS0", true},
      {"ttyS0", "ttyS", false},
      {"ttyACM0", "ttyUSB0", true},
      {"ttyS01", "ttyS1", false},
      {"ttyS1", "ttyS01", true},
      {"ttyS001", "ttyS2", true},
      {"a10b2", "a10b10", true},
      {"a9b99", "a10b1", true},
      {"ttyS99999999999999999999", "ttyS100000000000000000000", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " < " + c.b);
    EXPECT_EQ(NaturalLess(c.a, c.b), c.less);
  }
}

TEST(PortTable, UsbAdaptersComeFirstEachGroupInNaturalOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> reported;
    std::vector<std::string> numbered;
  };
  const Case cases[] = {
      {"linux mix",
       {"/dev/ttyS10", "/dev/ttyUSB10", "/dev/ttyS2", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyS0",
        "/dev/ttyACM0"},
       {"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyS2",
        "/dev/ttyS10"}},
      {"macOS",
       {"/dev/cu.Bluetooth-Incoming-Port", "/dev/cu.usbserial-A1B2", "/dev/cu.usbmodem14101"},
       {"/dev/cu.usbmodem14101", "/dev/cu.usbserial-A1B2", "/dev/cu.Bluetooth-Incoming-Port"}},
      {"no adapters",
       {"/dev/ttyS1", "/dev/ttyAMA0", "/dev/ttyS0"},
       {"/dev/ttyAMA0", "/dev/ttyS0", "/dev/ttyS1"}},
      {"a name merely containing usb is not an adapter",
       {"/dev/ttyS0", "/dev/myttyUSB0"},
       {"/dev/myttyUSB0", "/dev/ttyS0"}},
      {"none", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Paths(PortTable::Numbered(Entries(c.reported))), c.numbered);
  }
}

TEST(PortTable, PortNumbersCountFromOneAndStopAtTheEnd) {
  const PortTable ports = PortTable::Numbered(Entries({"/dev/ttyUSB0", "/dev/ttyS0"}));
  struct Case {
    int port;
    std::optional<std::string> path;
  };
  const Case cases[] = {{1, "/dev/ttyUSB0"}, {2, "/dev/ttyS0"},  {3, std::nullopt},
                        {0, std::nullopt},   {-1, std::nullopt}, {255, std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(ports.Path(c.port), c.path);
  }
  EXPECT_EQ(PortTable().Path(1), std::nullopt);
}

TEST(PortTable, DescriptionListsEveryPortWithWhatIsKnown) {
  const PortTable ports({{1, {"/dev/ttyUSB0", "FT232R USB UART", "A1B2C3"}},
                         {2, {"/dev/ttyUSB1", "CP2102", ""}},
                         {3, {"/dev/ttyACM0", "", "9F"}},
                         {4, {"/dev/ttyS0", "", ""}}});
  EXPECT_EQ(ports.Describe(),
            "1: /dev/ttyUSB0  FT232R USB UART (A1B2C3)\n"
            "2: /dev/ttyUSB1  CP2102\n"
            "3: /dev/ttyACM0  (9F)\n"
            "4: /dev/ttyS0");
  EXPECT_EQ(PortTable().Describe(), "no serial ports found");
}

}  // namespace
}  // namespace korvalen
