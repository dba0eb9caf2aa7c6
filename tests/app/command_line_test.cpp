#include "app/command_line.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/settings_file.h"

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
       {"--port", "1=/dev/pts/3", "--port=4=/dev/ttyS9", "--port", "255=/dev/by-id/a=b"},
       -1,
       "",
       {{1, "/dev/pts/3"}, {4, "/dev/ttyS9"}, {255, "/dev/by-id/a=b"}}},
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
      // A second value for the same thing is refused, not settled silently.
      {false,
       {"--port", "1=/dev/a", "--port", "2=/dev/b", "--port", "1=/dev/c"},
       2,
       "korvalen: --port 1=/dev/c: port 1 is already /dev/a"},
      {false, {"--log", "a", "--log=b"}, 2, "korvalen: --log given twice (a, b)"},
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

TEST(SettingsFile, TakesWhatTheOptionsSayAndNamesEachEntryItIgnores) {
  // Blanks around, comments, CRLF, a case-blind section and truth; a path kept as written.
  const Settings good = ParseSettings(
      "# bench\r\n ; old\r\n log = C:\\logs\\k.log \r\nreconnect=Yes\r\n\r\n[Ports]\r\n1=/dev/x\n "
      "7 = a b",
      "f");
  EXPECT_EQ(std::tie(good.ports, good.log, good.reconnect, good.problems),
            std::tuple(PortMap{{1, "/dev/x"}, {7, "a b"}}, "C:\\logs\\k.log", true,
                       std::vector<std::string>{}));

  const Settings bad = ParseSettings(
      "lgo=x\nlog=\nlog=a\nlog=b\nreconnect=maybe\nreconnect\nreconnect=off\nreconnect=1\n"
      "[ports]\n0=/dev/a\n256=/dev/a\n1x=/dev/a\n2=\n3=/dev/c\n3=/dev/d\n[serial]\nbaud=9600\n"
      "[ports]\n4=/dev/e\n",
      "f");
  EXPECT_EQ(std::tie(bad.ports, bad.log, bad.reconnect),
            std::tuple(PortMap{{3, "/dev/c"}, {4, "/dev/e"}}, "a", false));
  const std::vector<std::string> problems = {
      "f line 1: lgo=x: unknown key",
      "f line 2: log=: log needs a file name",
      "f line 4: log=b: log is given above already",
      "f line 5: reconnect=maybe: reconnect is true or false",
      "f line 6: reconnect: expected KEY=VALUE",
      "f line 8: reconnect=1: reconnect is given above already",
      "f line 10: 0=/dev/a: the port number must be",
      "f line 11: 256=/dev/a: the port number",
      "f line 12: 1x=/dev/a: the port number",
      "f line 13: 2=: the device path is empty",
      "f line 15: 3=/dev/d: port 3 is named above",
      "f line 16: [serial]: unknown section"};
  ASSERT_EQ(bad.problems.size(), problems.size());
  for (std::size_t i = 0; i < problems.size(); ++i) {
    EXPECT_EQ(bad.problems[i].rfind(problems[i], 0), 0U) << bad.problems[i];
  }
}

TEST(SettingsFile, IsThisUsersUnderXdgConfigHomeAndTheCommandLineWinsPortByPort) {
  const QTemporaryDir home;
  const QByteArray old_xdg = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", home.filePath("xdg").toUtf8());
  const QString path = home.filePath("xdg/korvalen/korvalen.conf");
  EXPECT_EQ(SettingsPath(), path);
  const Settings none = ReadSettings(path);
  EXPECT_TRUE(none.problems.empty() && !none.reconnect) << "no file: nothing to say, nothing on";
  ASSERT_TRUE(QDir().mkpath(path));
  EXPECT_NE(ReadSettings(path).problems.at(0).find(": cannot read it (a folder)"),
            std::string::npos);
  ASSERT_TRUE(QDir().rmdir(path));

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("log=file.log\nreconnect=true\n[ports]\n1=/dev/file1\n2=/dev/file2\nx=y\n");
  file.close();
  CommandLine line =
      ParseCommandLine(kPanelProgram, {"korvalen", "--port", "1=/dev/line1", "--log", "line.log"});
  ApplySettings(ReadSettings(path), line);
  EXPECT_EQ(line.ports, (PortMap{{1, "/dev/line1"}, {2, "/dev/file2"}}));
  EXPECT_EQ(std::tuple(line.log, line.reconnect, line.problems.size()),
            std::tuple(std::string("line.log"), true, std::size_t{1}));
  CommandLine bare;
  ApplySettings(ReadSettings(path), bare);
  EXPECT_EQ(bare.log, "file.log");
  qputenv("XDG_CONFIG_HOME", old_xdg);
}

}  // namespace
}  // namespace korvalen
