#pragma once

#include <QStringList>

#include <string>
#include <vector>

#include "serial/port_mapping.h"

namespace korvalen {

// One of the programs the command line starts: its name, what --help says of it, and whether it
// reaches the host's ports (takes --port and --reconnect).
struct Program {
  const char* name;
  const char* description;
  bool takes_ports;
};

inline constexpr Program kPanelProgram{
    "korvalen",
    "Operator panel for one positioning device on a serial port (19200 baud, 8N2). The port field "
    "takes any number 0 to 255; 0 names no port.",
    true};
// Its one port is the simulated device; a --port would let it reach a real one.
inline constexpr Program kDemoProgram{
    "korvalen-demo",
    "The Korvalen panel with a simulated device as port 1, on a pseudo-terminal, beside a window "
    "showing what the device receives. Needs no hardware and opens no real port.",
    false};

// What the command line asks for. Parsed before any window exists, so --help, --version and a
// malformed option work without a display.
struct CommandLine {
  enum class Action { kRun, kExit };
  Action action = Action::kRun;
  int exit_code = 0;
  std::string output;  // printed on stdout when exit_code is 0, on stderr otherwise
  PortMap ports;
  std::string log;  // --log FILE: empty for none, "-" for standard error
  bool reconnect = false;
  // Entries of the settings file that were ignored, a line each naming the entry and why.
  std::vector<std::string> problems;
};

[[nodiscard]] CommandLine ParseCommandLine(const Program& program, const QStringList& arguments);

}  // namespace korvalen
