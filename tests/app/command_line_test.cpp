#include "app/command_line.h"

#include <gtest/gtest.h>

namespace korvalen {
namespace {

TEST(CommandLine, TakesPortMappingsHelpAndVersionAndRefusesAnythingElseInOneLine) {
  struct Case {
    bool demo;
    QStringList arguments;
    int exit_code;       // -1: the program runs
    std::string output;  // how it starts
    PortMap ports = {};
    std::string says = {};  // somewhere in the output
  };
  const Case cases[] = {
      {false, {}, -1, ""},
      {false,
       {"--port", "1=/dev/pts/3", "--port=4=/dev/ttyS9", "--port", "255=/dev/by-id/a=b", "--port",
        "1=/dev/pts/5"},
       -1,
       "",
       {{1, "/dev/pts/5"}, {4, "/dev/ttyS9"}, {255, "/dev/by-id/a=b"}}},
      {false, {"--help"}, 0, "Usage: korvalen [options]", {}, "any number 0 to 255; 0 names no"},
      // Qt's own options pass by for the application to take, one dash or two.
      {false,
       {"-platform", "offscreen", "--port", "2=/dev/x", "-style=fusion", "-reverse",
        "--qwindowgeometry", "90x60+1+1"},
       -1,
       "",
       {{2, "/dev/x"}}},
      {false,
       {"--help-all"},
       0,
       "Usage: korvalen [options]",
       {},
       "\n  -qwindowgeometry <geometry>  "},
      {false, {"-platform"}, 2, "korvalen: Missing value after '-platform'. (see --help)"},
      {false, {"-platforms", "x"}, 2, "korvalen: Unknown option 'platforms'. (see --help)"},
      {false, {"--version"}, 0, "korvalen " KORVALEN_TEST_VERSION "\n"},
      {false, {"--port", "/dev/ttyUSB0"}, 2, "korvalen: --port /dev/ttyUSB0: expected N=PATH"},
      {false, {"--port", "0=/dev/x"}, 2, "korvalen: --port 0=/dev/x: the port number must be"},
      {false, {"--port", "256=/dev/x"}, 2, "korvalen: --port 256=/dev/x: the port number"},
      {false, {"--port", "1x=/dev/x"}, 2, "korvalen: --port 1x=/dev/x: the port number"},
      {false, {"--port", "=/dev/x"}, 2, "korvalen: --port =/dev/x: the port number"},
      {false, {"--port", "x=/dev/x"}, 2, "korvalen: --port x=/dev/x: the port number"},
      {false, {"--port", "3="}, 2, "korvalen: --port 3=: the device path is empty"},
      {false, {"--port"}, 2, "korvalen: Missing value after '--port'. (see --help)"},
      {false, {"stray"}, 2, "korvalen: unexpected argument 'stray' (see --help)"},
      {true, {}, -1, ""},
      {true, {"--help"}, 0, "Usage: korvalen-demo [options]"},
      {true, {"--version"}, 0, "korvalen-demo " KORVALEN_TEST_VERSION "\n"},
      // Its one port is the simulated device; a mapping would let it reach a real one.
      {true, {"--port", "2=/dev/ttyS0"}, 2, "korvalen-demo: Unknown option 'port'. (see --help)"},
      {true, {"/dev/ttyS0"}, 2, "korvalen-demo: unexpected argument '/dev/ttyS0' (see --help)"}};
  for (const Case& c : cases) {
    const CommandLine line =
        c.demo ? ParseCommandLine(kDemoProgram, QStringList{"korvalen-demo"} + c.arguments)
               : ParseCommandLine(kPanelProgram, QStringList{"/usr/bin/korvalen"} + c.arguments);
    SCOPED_TRACE(c.arguments.join(' ').toStdString() + " -> " + line.output);
    EXPECT_EQ(line.action == CommandLine::Action::kRun ? -1 : line.exit_code, c.exit_code);
    EXPECT_EQ(line.output.rfind(c.output, 0), 0U);
    EXPECT_TRUE(c.exit_code != 2 || line.output.find('\n') == line.output.size() - 1) << "one line";
    EXPECT_EQ(line.ports, c.ports);
    EXPECT_NE(line.output.find(c.says), std::string::npos);
  }

  // Both programs log; only the panel waits for a lost port, as the demo's device never goes.
  const CommandLine panel =
      ParseCommandLine(kPanelProgram, {"korvalen", "--log", "-", "--reconnect"});
  EXPECT_EQ(std::pair(panel.log, panel.reconnect), std::pair(std::string("-"), true));
  EXPECT_FALSE(ParseCommandLine(kPanelProgram, {"korvalen"}).reconnect);
  EXPECT_EQ(ParseCommandLine(kDemoProgram, {"korvalen-demo", "--log", "t.log"}).log, "t.log");
  EXPECT_EQ(ParseCommandLine(kDemoProgram, {"korvalen-demo", "--reconnect"}).exit_code, 2);
}

}  // namespace
}  // namespace korvalen
