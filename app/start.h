#pragma once

#include <functional>

#include "app/command_line.h"

namespace korvalen {

// Qt's own texts (a message box's button, a field's menu) in the system's language, where Qt has a
// catalogue for it; the programs' own texts stay as they are. Needs the application.
void LoadQtTranslations();

// The start both programs share. The command line is read before the application exists, so
// --help, --version and a malformed option need no display; then `run` runs inside an application
// named for the program, with the launcher's icon, and its result is the exit code.
[[nodiscard]] int Start(int argc, char* argv[], const Program& program,
                        const std::function<int(const CommandLine&)>& run);

}  // namespace korvalen
