#include "app/demo/demo_command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace korvalen {

CommandLine ParseDemoCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "The Korvalen panel with a simulated device as port 1, on a pseudo-terminal, beside a "
      "window showing what the device receives. Needs no hardware and opens no real port."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();

  CommandLine line;
  const QString program = arguments.isEmpty() ? QStringLiteral("korvalen-demo")
                                              : QFileInfo(arguments.constFirst()).fileName();
  const auto fail = [&line, &program](const QString& reason) {
    line.action = CommandLine::Action::kExit;
    line.exit_code = 2;
    line.output =
        (program + QStringLiteral(": ") + reason + QStringLiteral(" (see --help)\n")).toStdString();
  };
  if (!parser.parse(arguments)) {
    fail(parser.errorText());
  } else if (parser.isSet(help)) {
    line.action = CommandLine::Action::kExit;
    // The parser names the program only when an application object exists; there is none yet.
    line.output =
        parser.helpText().replace(QStringLiteral("<executable_name>"), program).toStdString();
  } else if (parser.isSet(version)) {
    line.action = CommandLine::Action::kExit;
    line.output =
        (program + QStringLiteral(" ") + QStringLiteral(KORVALEN_VERSION) + u'\n').toStdString();
  } else if (!parser.positionalArguments().isEmpty()) {
    fail(QStringLiteral("unexpected argument '") + parser.positionalArguments().constFirst() +
         u'\'');
  }
  return line;
}

}  // namespace korvalen
