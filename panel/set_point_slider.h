#pragma once

#include <QScrollBar>

namespace korvalen {

// A slider whose every change moves the device, so the wheel must never move it by accident: it
// turns only a slider the operator has put the focus on, and then one notch is one small step.
// Touchpads send many small deltas; they add up to a notch before the slider moves.
class SetPointSlider : public QScrollBar {
  Q_OBJECT

 public:
  explicit SetPointSlider(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  int unspent_angle_ = 0;  // in eighths of a degree, less than one notch
};

}  // namespace korvalen
