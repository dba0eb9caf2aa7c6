#pragma once

#include "app/command_line.h"
#include "app/panel_options.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "serial/port_table.h"

namespace korvalen {

// The panel program as its main() wires it, so that a test runs exactly that: the host's ports
// with the command line's mapped ones, the link, the window and what the options attach, made in
// that order and torn down in reverse.
class WiredPanel {
 public:
  explicit WiredPanel(const CommandLine& command_line);
  WiredPanel(const WiredPanel&) = delete;
  WiredPanel& operator=(const WiredPanel&) = delete;

  [[nodiscard]] frm_Korvalen& Window() { return window_; }

 private:
  const PortSource ports_;
  HostSerialLink comm_;
  frm_Korvalen window_;
  const PanelOptions options_;
};

}  // namespace korvalen
