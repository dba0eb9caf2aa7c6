#include <QApplication>

#include "app/start.h"
#include "app/wired_panel.h"

int main(int argc, char* argv[]) {
  using namespace korvalen;
  return Start(argc, argv, kPanelProgram, [](const CommandLine& command_line) {
    WiredPanel panel(command_line);
    panel.Window().show();
    return QApplication::exec();
  });
}
