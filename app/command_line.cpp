#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <variant>

namespace korvalen {

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Operator panel for one positioning device on a serial port (19200 baud, 8N2)."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("Make port number N (1 to 255) name the device PATH, ahead of the host's own "
                     "numbering. Repeatable."),
      QStringLiteral("N=PATH"));
  parser.addOption(port);

  CommandLine line;
  const QString program = arguments.isEmpty() ? QStringLiteral("korvalen")
                                              : QFileInfo(arguments.constFirst()).fileName();
  if (!parser.parse(arguments)) {
    line.action = CommandLine::Action::kExit;
    line.exit_code = 2;
    line.output =
        (program + QStringLiteral(": ") + parser.errorText() + QStringLiteral(" (see --help)\n"))
            .toStdString();
    return line;
  }
  if (parser.isSet(help)) {
    line.action = CommandLine::Action::kExit;
    // The parser names the program only when an application object exists; there is none yet.
    line.output =
        parser.helpText().replace(QStringLiteral("<executable_name>"), program).toStdString();
    return line;
  }
  if (parser.isSet(version)) {
    line.action = CommandLine::Action::kExit;
    line.output =
        (program + QStringLiteral(" ") + QStringLiteral(KORVALEN_VERSION) + u'\n').toStdString();
    return line;
  }
  if (!parser.positionalArguments().isEmpty()) {
    line.action = CommandLine::Action::kExit;
    line.exit_code = 2;
    line.output = (program + QStringLiteral(": unexpected argument '") +
                   parser.positionalArguments().constFirst() + QStringLiteral("' (see --help)\n"))
                      .toStdString();
    return line;
  }
  for (const QString& value : parser.values(port)) {
    auto parsed = ParsePortMapping(value.toStdString());
    if (auto* reason = std::get_if<std::string>(&parsed)) {
      line.action = CommandLine::Action::kExit;
      line.exit_code = 2;
      line.output = program.toStdString() + ": " + *reason + "\n";
      return line;
    }
    auto& [number, path] = std::get<std::pair<int, std::string>>(parsed);
    line.ports[number] = path;
  }
  return line;
}

}  // namespace korvalen
