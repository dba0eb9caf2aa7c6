#include "app/start.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "app/settings_file.h"

namespace korvalen {

void LoadQtTranslations() {
  auto* const catalogue = new QTranslator(QCoreApplication::instance());
  if (catalogue->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(catalogue);
  }
}

int Start(int argc, char* argv[], const Program& program,
          const std::function<int(const CommandLine&)>& run) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  CommandLine command_line = ParseCommandLine(program, arguments);
  if (command_line.action == CommandLine::Action::kExit) {
    std::fputs(command_line.output.c_str(), command_line.exit_code == 0 ? stdout : stderr);
    return command_line.exit_code;
  }
  // The demo's port is its own simulated device, and its traffic no engineer's log.
  if (program.takes_ports) ApplySettings(ReadSettings(SettingsPath()), command_line);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(program.name));
  QApplication::setApplicationVersion(QStringLiteral(KORVALEN_VERSION));
  QApplication::setDesktopFileName(QStringLiteral(KORVALEN_APP_ID));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" KORVALEN_APP_ID ".png")));
  LoadQtTranslations();
  return run(command_line);
}

}  // namespace korvalen
