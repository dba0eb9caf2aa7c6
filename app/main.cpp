#include <QApplication>

#include "app/start.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "serial/port_mapping.h"

int main(int argc, char* argv[]) {
  using namespace korvalen;
  return Start(argc, argv, kPanelProgram, [](const CommandLine& command_line) {
    const PortSource ports = WithMappedPorts(command_line.ports, HostPorts());
    HostSerialLink comm(ports);
    frm_Korvalen window(comm, [&ports] { return ports().Describe(); });
    window.show();
    return QApplication::exec();
  });
}
