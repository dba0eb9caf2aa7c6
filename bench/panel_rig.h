#pragma once

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::bench {

// The real window over the real link on a pseudo-terminal, shown on the offscreen platform and
// connected by a click on Connect, as an operator leaves it before the figures are taken. The
// bench plays the device on the master and writes its floors on the slave it keeps, the panel's
// own line.
class PanelRig {
 public:
  // Throws std::runtime_error if the panel does not connect.
  PanelRig();

  [[nodiscard]] const sim::PseudoTerminal& Pty() const { return pty_; }
  [[nodiscard]] frm_Korvalen& Window() { return window_; }

 private:
  sim::PseudoTerminal pty_;
  HostSerialLink comm_;
  frm_Korvalen window_;
};

// Runs every event that waits now, without waiting for more.
void Settle();

}  // namespace korvalen::bench
