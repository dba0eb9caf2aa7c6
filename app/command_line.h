#pragma once

#include <QStringList>

#include <string>

#include "app/port_mapping.h"

namespace korvalen {

// What the command line asks for. Parsed before any window exists, so --help, --version and a
// malformed option work without a display.
struct CommandLine {
  enum class Action { kRun, kExit };
  Action action = Action::kRun;
  int exit_code = 0;
  std::string output;  // printed on stdout when exit_code is 0, on stderr otherwise
  PortMap ports;
};

[[nodiscard]] CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace korvalen
