#pragma once

#include <memory>

#include "app/command_line.h"
#include "panel/traffic_log.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "serial/port_return.h"

namespace korvalen {

// What the command line adds to a panel beyond its ports: the traffic log and the watch for a
// lost port's return, attached to the panel while this lives. With neither option the panel runs
// exactly as it would without this.
class PanelOptions {
 public:
  // `ports` are the ones `comm` opens from, where a returning device is looked for.
  PanelOptions(const CommandLine& command_line, frm_Korvalen& window, const HostSerialLink& comm,
               PortSource ports);
  ~PanelOptions();
  PanelOptions(const PanelOptions&) = delete;
  PanelOptions& operator=(const PanelOptions&) = delete;

 private:
  Panel& panel_;
  std::unique_ptr<TrafficLog> log_;
  std::unique_ptr<PortReturn> port_return_;
};

}  // namespace korvalen
