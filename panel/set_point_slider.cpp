#include "panel/set_point_slider.h"

#include <QWheelEvent>

namespace korvalen {
namespace {

// One notch of a standard mouse wheel, in the eighths of a degree Qt reports.
constexpr int kNotch = 120;

}  // namespace

void SetPointSlider::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    unspent_angle_ = 0;
    event->ignore();
    return;
  }
  // A wheel turned away from the operator raises the value; a tilt wheel raises it to the right,
  // which Qt reports as a negative angle.
  const QPoint angle = event->angleDelta();
  int delta = angle.y() != 0 ? angle.y() : -angle.x();
  if (event->inverted()) delta = -delta;
  // A turn back the other way starts afresh instead of first paying off the other direction.
  if ((delta > 0) != (unspent_angle_ > 0)) unspent_angle_ = 0;
  unspent_angle_ += delta;
  const int steps = unspent_angle_ / kNotch;
  unspent_angle_ -= steps * kNotch;
  // One setValue, so a notch (or a fast flick of several) commits one value, not one per step.
  if (steps != 0) setValue(value() + steps * singleStep());
  event->accept();
}

}  // namespace korvalen
