#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <variant>

namespace korvalen {

CommandLine ParseCommandLine(const Program& program, const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(program.description));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("Make port number N (1 to 255) name the device PATH, in place of the "
                     "host's port N. Repeatable."),
      QStringLiteral("N=PATH"));
  if (program.takes_ports) parser.addOption(port);

  CommandLine line;
  const QString name = arguments.isEmpty() ? QString::fromUtf8(program.name)
                                           : QFileInfo(arguments.constFirst()).fileName();
  const auto finish = [&line](int code, const QString& output) {
    line.action = CommandLine::Action::kExit;
    line.exit_code = code;
    line.output = output.toStdString();
    return line;
  };
  const auto fail = [&finish, &name](const QString& reason) {
    return finish(2, name + QStringLiteral(": ") + reason + QStringLiteral(" (see --help)\n"));
  };
  if (!parser.parse(arguments)) return fail(parser.errorText());
  // The parser names the program only when an application object exists; there is none yet.
  if (parser.isSet(help)) {
    return finish(0, parser.helpText().replace(QStringLiteral("<executable_name>"), name));
  }
  if (parser.isSet(version)) {
    return finish(0, name + QStringLiteral(" " KORVALEN_VERSION "\n"));
  }
  if (!parser.positionalArguments().isEmpty()) {
    return fail(QStringLiteral("unexpected argument '") +
                parser.positionalArguments().constFirst() + u'\'');
  }
  if (!program.takes_ports) return line;
  for (const QString& value : parser.values(port)) {
    auto parsed = ParsePortMapping(value.toStdString());
    if (const auto* reason = std::get_if<std::string>(&parsed)) {
      line.ports.clear();
      return fail(QString::fromStdString(*reason));
    }
    auto& [number, path] = std::get<std::pair<int, std::string>>(parsed);
    line.ports[number] = std::move(path);
  }
  return line;
}

}  // namespace korvalen
