#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <system_error>

#include "app/demo/demo.h"
#include "app/demo/demo_command_line.h"

int main(int argc, char* argv[]) {
  // Read before the application exists, so --help needs no display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const korvalen::CommandLine command_line = korvalen::ParseDemoCommandLine(arguments);
  if (command_line.action == korvalen::CommandLine::Action::kExit) {
    std::fputs(command_line.output.c_str(), command_line.exit_code == 0 ? stdout : stderr);
    return command_line.exit_code;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("korvalen-demo"));
  QApplication::setApplicationVersion(QStringLiteral(KORVALEN_VERSION));
  QApplication::setDesktopFileName(QStringLiteral(KORVALEN_APP_ID));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" KORVALEN_APP_ID ".png")));

  std::optional<korvalen::Demo> demo;
  try {
    demo.emplace();
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "korvalen-demo: cannot make a pseudo-terminal for the device: %s\n",
                 error.what());
    return 1;
  }
  demo->Show();
  return QApplication::exec();
}
