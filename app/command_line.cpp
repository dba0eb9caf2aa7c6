#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <variant>

#include "app/qt_options.h"
#include "app/settings_file.h"

namespace korvalen {

CommandLine ParseCommandLine(const Program& program, const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(program.description));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  AddQtOptions(parser);
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("Make port number N (1 to 255) name the device PATH, in place of the "
                     "host's port N. Repeatable, each number once."),
      QStringLiteral("N=PATH"));
  const QCommandLineOption log(
      QStringLiteral("log"),
      QStringLiteral("Write every frame sent, every reply read and every connect, disconnect and "
                     "lost port to FILE as it happens, a line each, with the milliseconds since "
                     "the start and the bytes in hex; - is standard error. At 10 MiB FILE becomes "
                     "FILE.1 and a new FILE starts."),
      QStringLiteral("FILE"));
  parser.addOption(log);
  const QCommandLineOption reconnect(
      QStringLiteral("reconnect"),
      QStringLiteral("When the open port goes away (an adapter unplugged), open it again as soon "
                     "as the same device is back under its port number, sending nothing: the "
                     "operator acts first. The same device is one with the same serial number "
                     "where the adapter has one (a different serial number never); else one with "
                     "the same /dev/serial/by-id name; else any device at the same path, so "
                     "without a serial number whatever device is at that path is taken. Clicking "
                     "Connect meanwhile stops the waiting."));
  if (program.takes_ports) {
    parser.addOption(port);
    parser.addOption(reconnect);
  }

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
  const bool help_all = parser.isSet(QStringLiteral("help-all"));
  if (parser.isSet(help) || help_all) {
    QString text = parser.helpText().replace(QStringLiteral("<executable_name>"), name);
    if (help_all) text += QtOptionsHelp();
    if (program.takes_ports) text += SettingsHelp();
    return finish(0, text);
  }
  if (parser.isSet(version)) {
    return finish(0, name + QStringLiteral(" " KORVALEN_VERSION "\n"));
  }
  if (!parser.positionalArguments().isEmpty()) {
    return fail(QStringLiteral("unexpected argument '") +
                parser.positionalArguments().constFirst() + u'\'');
  }
  if (parser.isSet(log) && parser.value(log).isEmpty()) {
    return fail(QStringLiteral("--log needs a file name, or - for standard error"));
  }
  // One file each: a second one given is a mistake to hear of, not one to settle silently.
  if (const QStringList logs = parser.values(log); logs.size() > 1) {
    return fail(QStringLiteral("--log given twice (%1, %2); give one file").arg(logs[0], logs[1]));
  }
  line.log = parser.value(log).toStdString();
  line.reconnect = program.takes_ports && parser.isSet(reconnect);
  if (!program.takes_ports) return line;
  for (const QString& value : parser.values(port)) {
    auto parsed = ParsePortMapping(value.toStdString());
    if (const auto* reason = std::get_if<std::string>(&parsed)) {
      line.ports.clear();
      return fail(QString::fromStdString(*reason));
    }
    auto& [number, path] = std::get<std::pair<int, std::string>>(parsed);
    if (const auto [named, added] = line.ports.try_emplace(number, path); !added) {
      const std::string first = named->second;
      line.ports.clear();
      return fail(QStringLiteral("--port %1: port %2 is already %3; give each number once")
                      .arg(value)
                      .arg(number)
                      .arg(QString::fromStdString(first)));
    }
  }
  return line;
}

}  // namespace korvalen
