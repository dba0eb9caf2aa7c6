#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/command_line.h"
#include "app/port_mapping.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"

int main(int argc, char* argv[]) {
  // The command line is read before the application exists, so --help needs no display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const korvalen::CommandLine command_line = korvalen::ParseCommandLine(arguments);
  if (command_line.action == korvalen::CommandLine::Action::kExit) {
    std::fputs(command_line.output.c_str(), command_line.exit_code == 0 ? stdout : stderr);
    return command_line.exit_code;
  }

  QApplication app(argc, argv);
  const korvalen::PortMap mapped = command_line.ports;
  korvalen::HostSerialLink comm(korvalen::WithMappedPorts(mapped, korvalen::HostPorts()));
  korvalen::frm_Korvalen window(comm, [&mapped] {
    return korvalen::DescribeWithMappedPorts(mapped, korvalen::DescribeHostPorts());
  });
  window.show();
  return QApplication::exec();
}
