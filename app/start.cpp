#include "app/start.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_file.h"

namespace korvalen {
namespace {

// Qt ends a program whose window system it cannot reach with several lines of its own and an
// abort (exit code 134, and a core dump where they are kept). While the application is being made,
// its messages are held; if it gives up, one line says why and the program exits 1. A failure that
// is not about a display (a platform plugin that does not exist) shows Qt's own lines instead.
class HeldStartMessages {
 public:
  explicit HeldStartMessages(const char* program) : program_(program) {
    held_ = this;
    previous_ = qInstallMessageHandler(&Hold);
  }
  // The application was made: what Qt said meanwhile goes where it would have gone.
  ~HeldStartMessages() {
    qInstallMessageHandler(previous_);
    held_ = nullptr;
    for (const std::string& line : lines_) std::fprintf(stderr, "%s\n", line.c_str());
  }
  HeldStartMessages(const HeldStartMessages&) = delete;
  HeldStartMessages& operator=(const HeldStartMessages&) = delete;

 private:
  static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const std::string category = context.category != nullptr ? context.category : "";
    if (category.rfind("qt.qpa", 0) == 0 && message.contains(QStringLiteral("display"))) {
      held_->display_failed_ = true;
    }
    held_->lines_.push_back(qFormatLogMessage(type, context, message).toStdString());
    if (type != QtFatalMsg) return;
    if (held_->display_failed_) {
      std::fprintf(stderr, "%s: cannot connect to a display; start it from a desktop session\n",
                   held_->program_);
    } else {
      for (const std::string& line : held_->lines_) std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
    std::_Exit(1);
  }

  static inline HeldStartMessages* held_ = nullptr;
  const char* program_;
  QtMessageHandler previous_;
  std::vector<std::string> lines_;
  bool display_failed_ = false;
};

}  // namespace

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

  auto held = std::make_unique<HeldStartMessages>(program.name);
  QApplication app(argc, argv);
  held.reset();
  QApplication::setApplicationName(QString::fromUtf8(program.name));
  QApplication::setApplicationVersion(QStringLiteral(KORVALEN_VERSION));
  QApplication::setDesktopFileName(QStringLiteral(KORVALEN_APP_ID));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" KORVALEN_APP_ID ".png")));
  LoadQtTranslations();
  return run(command_line);
}

}  // namespace korvalen
