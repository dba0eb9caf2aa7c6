#pragma once

#include <functional>

#include "app/command_line.h"

namespace korvalen {

// Chooses Qt's own event loop over GLib's before an application exists: GLib's wakes itself with a
// system call each time a notifier is switched on or an event is posted, and the serial link
// switches its write notifier on for every frame, which costs each command a few microseconds.
// QT_NO_GLIB set in the environment, even empty, is left as it is.
void ChooseEventLoop();

// Qt's own texts (a message box's button, a field's menu) in the system's language, where Qt has a
// catalogue for it; the programs' own texts stay as they are. Needs the application.
void LoadQtTranslations();

// The start both programs share. The command line is read before the application exists, so
// --help, --version and a malformed option need no display; then `run` runs inside an application
// named for the program, with the launcher's icon, and its result is the exit code.
[[nodiscard]] int Start(int argc, char* argv[], const Program& program,
                        const std::function<int(const CommandLine&)>& run);

}  // namespace korvalen
