#include <QApplication>

#include "app/panel_options.h"
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
    const PanelOptions options(command_line, window, comm, ports);
    window.show();
    return QApplication::exec();
  });
}
