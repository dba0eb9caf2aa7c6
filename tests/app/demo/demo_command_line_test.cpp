#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalen {
namespace {

struct LineCase {
  QStringList arguments;
  CommandLine::Action action;
  int exit_code;
  std::string output_has;
};

TEST(DemoCommandLine, HelpVersionAndAnythingElse) {
  using Action = CommandLine::Action;
  const LineCase cases[] = {
      {{"korvalen-demo"}, Action::kRun, 0, ""},
      {{"korvalen-demo", "--help"}, Action::kExit, 0, "Usage: korvalen-demo"},
      {{"korvalen-demo", "--version"},
       Action::kExit,
       0,
       "korvalen-demo " KORVALEN_TEST_VERSION "\n"},
      // Its one port is the simulated device; a mapping would let it reach a real one.
      {{"korvalen-demo", "--port", "2=/dev/ttyS0"}, Action::kExit, 2, "port"},
      {{"korvalen-demo", "/dev/ttyS0"}, Action::kExit, 2, "unexpected argument '/dev/ttyS0'"},
  };
  for (const LineCase& c : cases) {
    const std::string args = c.arguments.join(' ').toStdString();
    const CommandLine line = ParseCommandLine(kDemoProgram, c.arguments);
    EXPECT_EQ(line.action, c.action) << args;
    EXPECT_EQ(line.exit_code, c.exit_code) << args;
    EXPECT_NE(line.output.find(c.output_has), std::string::npos) << args << ": " << line.output;
    EXPECT_TRUE(line.ports.empty()) << args;
  }
}

}  // namespace
}  // namespace korvalen
