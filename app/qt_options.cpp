#include "app/qt_options.h"

#include <QCommandLineOption>

#include <algorithm>
#include <iterator>

namespace korvalen {
namespace {

struct QtOption {
  const char* name;
  const char* value;  // nullptr: a switch
  const char* help;
};

// Qt 6.4's QGuiApplication and QApplication options; -display, -geometry, -title, -icon and -name
// are the X11 spellings the xcb platform takes.
constexpr QtOption kQtOptions[] = {
    {"platform", "name[:options]", "Window system: xcb, wayland, offscreen, windows..."},
    {"platformpluginpath", "path", "Folder to load the window system plugins from."},
    {"platformtheme", "theme", "Platform theme plugin."},
    {"plugin", "plugin", "An input plugin to load, such as evdevtouch."},
    {"qwindowgeometry", "geometry", "The window's size and place, WIDTHxHEIGHT+X+Y."},
    {"geometry", "geometry", "The same, on X11."},
    {"qwindowtitle", "title", "The window's title."},
    {"title", "title", "The same, on X11."},
    {"qwindowicon", "icon", "The window's icon."},
    {"icon", "icon", "The same, on X11."},
    {"display", "display", "The X11 display to show the window on."},
    {"name", "name", "The X11 resource name."},
    {"style", "style", "Widget style: fusion, windows, windowsvista..."},
    {"stylesheet", "file", "A Qt style sheet for the windows."},
    {"reverse", nullptr, "Lay the windows out right to left."},
    {"session", "session", "The session to restore."},
    {"widgetcount", nullptr, "Count the widgets made, and those left at the end."},
    {"qmljsdebugger", "options", "The QML debugger's options."},
    {"testability", nullptr, "Load Qt's testability plugin."},
};

QString Usage(const QtOption& option) {
  QString usage = QStringLiteral("-") + QString::fromLatin1(option.name);
  if (option.value != nullptr)
    usage += QStringLiteral(" <%1>").arg(QString::fromLatin1(option.value));
  return usage;
}

}  // namespace

void AddQtOptions(QCommandLineParser& parser) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const QtOption& option : kQtOptions) {
    QCommandLineOption added(QString::fromLatin1(option.name), QString::fromLatin1(option.help));
    if (option.value != nullptr) added.setValueName(QString::fromLatin1(option.value));
    added.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(added);
  }
}

QString QtOptionsHelp() {
  const auto widest = std::max_element(
      std::begin(kQtOptions), std::end(kQtOptions),
      [](const QtOption& a, const QtOption& b) { return Usage(a).size() < Usage(b).size(); });
  const qsizetype width = Usage(*widest).size() + 2;
  QString help = QStringLiteral("\nQt options, which every Qt program takes:\n");
  for (const QtOption& option : kQtOptions) {
    help += QStringLiteral("  ") + Usage(option).leftJustified(width) +
            QString::fromLatin1(option.help) + u'\n';
  }
  return help;
}

}  // namespace korvalen
