#pragma once

#include <QString>
#include <functional>
#include <stdexcept>

#include "bench/report.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::bench {

// The control of the window called `name` (`Command3`, `HScroll2`...).
template <typename T>
T& Find(const QObject& root, const char* name) {
  T* const found = root.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) throw std::runtime_error(std::string("no control named ") + name);
  return *found;
}

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

// Runs every event that waits now, without waiting for more: the event loop's turn between two
// operator actions.
void Settle();

// One frame from `fd` inside a timed sample; throws if none comes.
[[nodiscard]] CommandFrame ReadFrame(int fd);

// Takes `samples` timings of each way of doing one thing, round after round, after a warm-up of
// 200 rounds; the order turns every round, so any drift of the machine falls on all alike.
[[nodiscard]] std::vector<std::vector<double>> Interleave(
    int samples, const std::vector<std::function<double()>>& ways);

// The median of `figure` beside that of `floor` for scale, and the p99 held to floor + `limit`.
[[nodiscard]] std::vector<Row> MedianAndP99(const std::string& name,
                                            const std::vector<double>& figure,
                                            const std::vector<double>& floor, double limit,
                                            const std::string& how);

}  // namespace korvalen::bench
