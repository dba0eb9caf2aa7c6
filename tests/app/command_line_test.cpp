#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalen {
namespace {

CommandLine Parse(const QStringList& options) {
  return ParseCommandLine(kPanelProgram,
                          QStringList{QStringLiteral("/usr/bin/korvalen")} + options);
}

TEST(CommandLine, NoOptionsRunsWithNoMappedPorts) {
  const CommandLine line = Parse({});
  EXPECT_EQ(line.action, CommandLine::Action::kRun);
  EXPECT_TRUE(line.ports.empty());
}

TEST(CommandLine, RepeatedPortOptionsAllMap) {
  const CommandLine line =
      Parse({"--port", "1=/dev/pts/3", "--port=4=/dev/ttyS9", "--port", "1=/dev/pts/5"});
  EXPECT_EQ(line.action, CommandLine::Action::kRun);
  EXPECT_EQ(line.ports, (PortMap{{1, "/dev/pts/5"}, {4, "/dev/ttyS9"}}));
}

TEST(CommandLine, HelpAndVersionPrintAndExitZero) {
  const CommandLine help = Parse({"--help"});
  EXPECT_EQ(help.action, CommandLine::Action::kExit);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("Usage: korvalen"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("--port <N=PATH>"), std::string::npos) << help.output;

  const CommandLine version = Parse({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.output, "korvalen " KORVALEN_TEST_VERSION "\n");
}

TEST(CommandLine, MalformedOrUnknownOptionsExitTwoWithOneLine) {
  const std::vector<QStringList> bad = {{"--port", "/dev/ttyUSB0"},
                                        {"--port", "0=/dev/x"},
                                        {"--port", "256=/dev/x"},
                                        {"--port", "2="},
                                        {"--port"},
                                        {"--frobnicate"},
                                        {"stray"}};
  for (const QStringList& options : bad) {
    const CommandLine line = Parse(options);
    SCOPED_TRACE(options.join(' ').toStdString());
    EXPECT_EQ(line.action, CommandLine::Action::kExit);
    EXPECT_EQ(line.exit_code, 2);
    ASSERT_FALSE(line.output.empty());
    EXPECT_EQ(line.output.find('\n'), line.output.size() - 1) << line.output;
    EXPECT_TRUE(line.ports.empty());
  }
}

}  // namespace
}  // namespace korvalen
