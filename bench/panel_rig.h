#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "bench/bench_pty.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"

namespace korvalen::bench {

// The real window over the real link on a bench pseudo-terminal, shown on the offscreen platform
// and connected by a click on Connect, as an operator leaves it before the figures are taken.
class PanelRig {
 public:
  // Throws std::runtime_error if the panel does not connect.
  PanelRig();

  [[nodiscard]] BenchPty& Pty() { return pty_; }
  [[nodiscard]] frm_Korvalen& Window() { return window_; }
  [[nodiscard]] QPushButton& Button(const char* name) { return Find<QPushButton>(name); }
  [[nodiscard]] QLineEdit& Field(const char* name) { return Find<QLineEdit>(name); }
  [[nodiscard]] QScrollBar& Slider(const char* name) { return Find<QScrollBar>(name); }

  // A left click as QTest delivers it: press and release through QApplication::notify.
  static void Click(QPushButton& button);

 private:
  template <typename T>
  [[nodiscard]] T& Find(const char* name);

  BenchPty pty_;
  HostSerialLink comm_;
  frm_Korvalen window_;
};

// Runs every event that waits now, without waiting for more.
void Settle();

}  // namespace korvalen::bench
