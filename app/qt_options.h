#pragma once

#include <QCommandLineParser>
#include <QString>

namespace korvalen {

// The options every Qt program takes (-platform offscreen, -style fusion, -reverse...). The
// application takes them out of the command line itself, but only once it exists, and it needs a
// display to exist; the command line is read before that, so it must know them to pass them by.
// They are read the way Qt writes them, with one dash (-platform), and with two.
void AddQtOptions(QCommandLineParser& parser);

// What --help-all adds to --help: the Qt options, one a line, as the parser lays out its own.
[[nodiscard]] QString QtOptionsHelp();

}  // namespace korvalen
