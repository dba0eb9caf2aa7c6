#pragma once

#include <QWidget>
#include <set>

#include "sim/simulated_device.h"

class QComboBox;
class QLabel;
class QListWidget;
class QTableWidget;
class QTimer;

namespace korvalen {

// What the simulated device hears and does, for someone trying the panel without hardware: the
// frames it received, its state, the replies it sent, and a choice of how it misbehaves. It only
// watches the device's signals, so an idle demo does no work.
class SimulatorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SimulatorWindow(sim::SimulatedDevice& device, QWidget* parent = nullptr);

 private:
  void Wire();
  void AddFrame();
  void ShowState();
  void ShowAxes();
  void ShowCounts();
  void ShowReply(const QByteArray& reply);
  void ChooseFaultMode(int index);

  sim::SimulatedDevice& device_;
  // Axes the panel has addressed, and ID 0, which it addresses first.
  std::set<int> addressed_{0};

  QLabel* const line_;
  QLabel* const state_;
  QComboBox* const fault_mode_;
  QLabel* const replies_;
  QLabel* const last_reply_;
  QLabel* const rejected_;
  QTableWidget* const axes_;
  QListWidget* const frames_;
  // Runs only while an axis moves, so positions creep on screen without waking an idle demo.
  QTimer* const motion_;
};

}  // namespace korvalen
