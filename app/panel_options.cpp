#include "app/panel_options.h"

#include <QCoreApplication>
#include <cstdio>

#include "serial/host_port_return.h"

namespace korvalen {

PanelOptions::PanelOptions(const CommandLine& command_line, frm_Korvalen& window,
                           const HostSerialLink& comm, PortSource ports)
    : panel_(window.State()) {
  if (!command_line.log.empty()) {
    log_ = std::make_unique<TrafficLog>(
        QString::fromStdString(command_line.log), [&comm] { return comm.LastOpened().second; },
        [](const std::string& problem) {
          std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                       problem.c_str());
        });
    panel_.SetObserver(log_.get());
  }
  if (command_line.reconnect) {
    port_return_ = WatchHostPorts(comm, std::move(ports));
    panel_.SetPortReturn(port_return_.get());
  }
}

PanelOptions::~PanelOptions() {
  panel_.SetObserver(nullptr);
  panel_.SetPortReturn(nullptr);
}

}  // namespace korvalen
