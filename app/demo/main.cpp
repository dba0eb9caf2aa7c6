#include <QApplication>
#include <cstdio>
#include <optional>
#include <system_error>

#include "app/demo/demo.h"
#include "app/start.h"

int main(int argc, char* argv[]) {
  using namespace korvalen;
  return Start(argc, argv, kDemoProgram, [](const CommandLine&) {
    std::optional<Demo> demo;
    try {
      demo.emplace();
    } catch (const std::system_error& error) {
      std::fprintf(stderr, "korvalen-demo: cannot make a pseudo-terminal for the device: %s\n",
                   error.what());
      return 1;
    }
    demo->Show();
    return QApplication::exec();
  });
}
