#include <gtest/gtest.h>

#include "serial/line_events.h"
#include "serial/line_settings.h"
#include "serial/port_mapping.h"
#include "serial/port_table.h"
#include "serial/serial_link.h"

namespace korvalen {
namespace {

TEST(LineSettings, ParsesEveryFieldInEitherCase) {
  const std::pair<const char*, LineSettings> cases[] = {
      {"19200,N,8,2", {19200, Parity::kNone, 8, StopBits::kTwo}},
      {"9600,e,7,1", {9600, Parity::kEven, 7, StopBits::kOne}},
      {"50,O,5,2", {50, Parity::kOdd, 5, StopBits::kTwo}},
      {"4000000,m,6,2", {4000000, Parity::kMark, 6, StopBits::kTwo}},
      {"300,S,8,1", {300, Parity::kSpace, 8, StopBits::kOne}}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseLineSettings(text), expected) << text;
  }
}

TEST(LineSettings, RejectsMalformedTextSayingWhichFieldIsWrong) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"expected baud,parity", {"", "19200,N,8,2,"}},
      {"baud must", {",N,8,2", "19200.5,N,8,2", "49,N,8,2", "4000001,N,8,2", "99999999999,N,8,2"}},
      {"parity must", {"19200,X,8,2", "19200,NO,8,2"}},
      {"data bits must", {"19200,N,4,2", "19200,N,9,2", "19200,N,8bit,2"}},
      // 1.5 stop bits only some systems put on the line, and only with 5 data bits.
      {"stop bits must", {"19200,N,8,3", "50,N,5,1.5"}}};
  for (const auto& [reason, texts] : cases) {
    for (const char* text : texts) {
      try {
        (void)ParseLineSettings(text);
        ADD_FAILURE() << "accepted " << text;
      } catch (const SerialError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(std::string("settings \"") + text + "\": ", 0),
                  0U);
        EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
      }
    }
  }
}

// The codes are the ones operators' tools already know, so they are spelled out here.
TEST(LineEvents, ReportsEachKindThatChangedOnceInAFixedOrder) {
  using Codes = std::vector<std::int16_t>;
  EXPECT_EQ(LineEventCodes({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}), Codes{});
  EXPECT_EQ(LineEventCodes({}, {1, 2, 1, 1, 3}), (Codes{1001, 1004, 1006, 1008, 1009}));
  EXPECT_EQ(LineEventCodes({0, 2147483647, 0, 0, 0}, {0, -2147483647 - 1, 0, 0, 0}), Codes{1004});
}

TEST(PortTable, NaturalOrderComparesDigitRunsAsNumbers) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"USB2", "USB10", true},  {"USB10", "USB2", false},
      {"S1", "S1", false},      {"S", "S0", true},
      {"S0", "S", false},       {"ACM0", "USB0", true},
      {"S01", "S1", false},     {"S1", "S01", true},
      {"S001", "S2", true},     {"a10b2", "a10b10", true},
      {"a9b99", "a10b1", true}, {"S99999999999999999999", "S100000000000000000000", true}};
  for (const auto& [a, b, less] : cases) {
    EXPECT_EQ(NaturalLess(a, b), less) << a << " < " << b;
  }
}

TEST(PortTable, NumbersUsbAdaptersFirstEachGroupInNaturalOrderFromOne) {
  const auto order = [](std::vector<std::string> paths) {
    std::vector<PortEntry> ports;
    for (std::string& path : paths) ports.push_back({std::move(path), "", ""});
    const PortTable table = PortTable::Numbered(std::move(ports));
    std::vector<std::string> numbered;
    for (int n = 1; const auto entry = table.Entry(n); ++n) numbered.push_back(entry->path);
    return numbered;
  };
  EXPECT_EQ(
      order({"/dev/ttyS10", "/dev/ttyUSB10", "/dev/ttyS2", "/dev/ttyACM1", "/dev/ttyUSB2",
             "/dev/myttyUSB0", "/dev/ttyACM0"}),
      (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                "/dev/myttyUSB0", "/dev/ttyS2", "/dev/ttyS10"}));
  EXPECT_EQ(
      order({"/dev/cu.Bluetooth-Incoming-Port", "/dev/cu.usbserial-A1B2"}),
      (std::vector<std::string>{"/dev/cu.usbserial-A1B2", "/dev/cu.Bluetooth-Incoming-Port"}));
  const PortTable two = PortTable::Numbered({{"/dev/ttyUSB0", "", ""}, {"/dev/ttyS0", "", ""}});
  for (const int outside : {-1, 0, 3}) EXPECT_EQ(two.Entry(outside), std::nullopt) << outside;
}

// A --port number stands in place of the host's port of that number, listed once.
TEST(PortTable, DescriptionListsEveryPortWithWhatIsKnownAndTheMappedOnesInTheirPlaces) {
  const PortSource host = FixedPorts(PortTable({{1, {"/dev/ttyUSB0", "FT232R USB UART", "A1B2C3"}},
                                                {2, {"/dev/ttyUSB1", "CP2102", ""}},
                                                {3, {"/dev/ttyACM0", "", "9F"}},
                                                {4, {"/dev/ttyS0", "", ""}}}));
  const PortTable table = WithMappedPorts({{2, "/dev/pts/9"}, {5, "/dev/pts/4"}}, host)();
  EXPECT_EQ(table.Describe(),
            "1: /dev/ttyUSB0  FT232R USB UART (A1B2C3)\n2: /dev/pts/9  named with --port\n"
            "3: /dev/ttyACM0  (9F)\n4: /dev/ttyS0\n5: /dev/pts/4  named with --port");
  EXPECT_EQ(table.Entry(2), (PortEntry{"/dev/pts/9", "named with --port", ""}));
  EXPECT_EQ(PortTable().Describe(), "no serial ports found");
}

// A lost port's return is taken only for the device that was lost, as far as the host can tell.
TEST(PortTable, TheSameDeviceBySerialNumberElseByIdNameElsePath) {
  const std::string usb0 = "/dev/ttyUSB0";
  const std::string by_id = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
  const std::tuple<PortEntry, PortEntry, bool> cases[] = {
      // The serial number decides, whatever the path and by-id name.
      {{usb0, "", "A1B2C3", "x"}, {"/dev/ttyUSB1", "", "A1B2C3", "y"}, true},
      {{usb0, "", "A1B2C3", by_id}, {usb0, "", "Z9", by_id}, false},
      {{usb0, "", ""}, {usb0, "", "A1B2C3"}, false},
      // Without one, the by-id name, whatever the path.
      {{usb0, "", "", by_id}, {"/dev/ttyUSB1", "", "", by_id}, true},
      {{usb0, "", "", by_id}, {usb0, "", "", by_id + "x"}, false},
      {{usb0, "", ""}, {usb0, "", "", by_id}, false},
      // Without either, any device at the path.
      {{"/tmp/port", "named with --port", ""}, {"/tmp/port", "", ""}, true},
      {{usb0, "", ""}, {"/dev/ttyUSB1", "", ""}, false}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(IsSameDevice(std::get<0>(cases[i]), std::get<1>(cases[i])), std::get<2>(cases[i]))
        << "case " << i;
  }
}

}  // namespace
}  // namespace korvalen
