#pragma once

#include "app/demo/simulator_window.h"
#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/simulated_device.h"

namespace korvalen {

// The real panel wired to a simulated device, beside a window showing what the device hears.
// Built here rather than in main() so the tests click exactly what an operator would see.
class Demo {
 public:
  // Throws std::system_error if no pseudo-terminal can be made.
  Demo();

  // Shows both windows side by side, the simulator on the right.
  void Show();

  [[nodiscard]] sim::SimulatedDevice& Device() { return device_; }
  [[nodiscard]] frm_Korvalen& PanelWindow() { return panel_; }
  [[nodiscard]] SimulatorWindow& Simulator() { return simulator_; }
  [[nodiscard]] const HostSerialLink& Link() const { return comm_; }

 private:
  // In this order: each part is made from the ones above it and must go before them.
  sim::SimulatedDevice device_;
  HostSerialLink comm_;
  frm_Korvalen panel_;
  SimulatorWindow simulator_;
};

}  // namespace korvalen
