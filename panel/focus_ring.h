#pragma once

#include <QFocusFrame>

namespace korvalen {

// A ring in the palette's highlight colour around the control that has the keyboard focus, so the
// operator sees which slider an arrow key or the wheel will move: the styles the panel runs with
// draw no focus on a slider, and some none on a field. It sits outside the control, so the control
// streaming its repaints never repaints the ring.
class FocusRing : public QFocusFrame {
  Q_OBJECT

 public:
  // Hidden until a control of `parent` has the focus.
  explicit FocusRing(QWidget* parent) : QFocusFrame(parent) { hide(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace korvalen
