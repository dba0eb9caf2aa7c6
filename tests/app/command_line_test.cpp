#include "app/command_line.h"

#include <gtest/gtest.h>

#include <span>

#include "app/demo/demo_command_line.h"
#include "app/port_mapping.h"

namespace korvalen {
namespace {

TEST(CommandLine, TakesPortMappingsHelpAndVersionAndRefusesEverythingElseInOneLine) {
  struct Case {
    QStringList arguments;
    int exit_code;       // -1: runs
    std::string output;  // the start of it
    PortMap ports = {};
  };
  const Case panel[] = {
      {{}, -1, "", {}},
      {{"--port", "1=/dev/pts/3", "--port=4=/dev/ttyS9", "--port", "255=/dev/by-id/a=b", "--port",
        "1=/dev/pts/5"},
       -1,
       "",
       {{1, "/dev/pts/5"}, {4, "/dev/ttyS9"}, {255, "/dev/by-id/a=b"}}},
      {{"--help"}, 0, "Usage: korvalen [options]"},
      {{"--version"}, 0, "korvalen " KORVALEN_TEST_VERSION "\n"},
      {{"--port", "/dev/ttyUSB0"}, 2, "korvalen: --port /dev/ttyUSB0: expected N=PATH"},
      {{"--port", "0=/dev/x"}, 2, "korvalen: --port 0=/dev/x: the port number must be"},
      {{"--port", "256=/dev/x"}, 2, "korvalen: --port 256=/dev/x: the port number"},
      {{"--port", "1x=/dev/x"}, 2, "korvalen: --port 1x=/dev/x: the port number"},
      {{"--port", "=/dev/x"}, 2, "korvalen: --port =/dev/x: the port number"},
      {{"--port", "3="}, 2, "korvalen: --port 3=: the device path is empty"},
      {{"--port"}, 2, "korvalen: Missing value after '--port'. (see --help)"},
      {{"--frobnicate"}, 2, "korvalen: Unknown option 'frobnicate'. (see --help)"},
      {{"stray"}, 2, "korvalen: unexpected argument 'stray' (see --help)"}};
  const Case demo[] = {
      {{}, -1, ""},
      {{"--help"}, 0, "Usage: korvalen-demo [options]"},
      {{"--version"}, 0, "korvalen-demo " KORVALEN_TEST_VERSION "\n"},
      {{"--port", "2=/dev/ttyS0"}, 2, "korvalen-demo: Unknown option 'port'. (see --help)"},
      {{"/dev/ttyS0"}, 2, "korvalen-demo: unexpected argument '/dev/ttyS0' (see --help)"}};
  for (const auto& [cases, parse, program] :
       {std::tuple{std::span<const Case>(panel), &ParseCommandLine, "/usr/bin/korvalen"},
        std::tuple{std::span<const Case>(demo), &ParseDemoCommandLine, "korvalen-demo"}}) {
    for (const Case& c : cases) {
      const CommandLine line = parse(QStringList{program} + c.arguments);
      SCOPED_TRACE(c.arguments.join(' ').toStdString() + " -> " + line.output);
      EXPECT_EQ(line.action,
                c.exit_code < 0 ? CommandLine::Action::kRun : CommandLine::Action::kExit);
      EXPECT_EQ(line.exit_code, std::max(c.exit_code, 0));
      EXPECT_EQ(line.output.rfind(c.output, 0), 0U);
      if (c.exit_code == 2) {
        EXPECT_EQ(line.output.find('\n'), line.output.size() - 1) << "one line";
      }
      EXPECT_EQ(line.ports, c.ports);
    }
  }
}

TEST(CommandLine, MappedPortsComeBeforeTheHostsAndHideTheHostPortsTheyShadow) {
  const auto host = [](int port) -> std::optional<std::string> {
    if (port == 1 || port == 2) return "/dev/host" + std::to_string(port);
    return std::nullopt;
  };
  const auto table = WithMappedPorts({{2, "/dev/pts/9"}, {5, "/dev/pts/4"}}, host);
  EXPECT_EQ(table(1), "/dev/host1");
  EXPECT_EQ(table(2), "/dev/pts/9");
  EXPECT_EQ(table(5), "/dev/pts/4");
  EXPECT_EQ(table(3), std::nullopt);
  EXPECT_EQ(WithMappedPorts({{1, "/dev/pts/1"}}, nullptr)(2), std::nullopt);
  EXPECT_EQ(DescribeWithMappedPorts({{1, "/dev/pts/3"}, {12, "/dev/x"}},
                                    "1: /dev/ttyUSB0  FT232R USB UART\n2: /dev/ttyS0\n"),
            "1: /dev/pts/3  (--port)\n12: /dev/x  (--port)\n2: /dev/ttyS0");
  EXPECT_EQ(DescribeWithMappedPorts({}, "no serial ports found"), "no serial ports found");
}

}  // namespace
}  // namespace korvalen
