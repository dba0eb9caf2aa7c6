#include "panel/focus_ring.h"

#include <QPainter>

namespace korvalen {

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
  // The style's mask leaves only the margin around the control to paint.
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Highlight));
}

}  // namespace korvalen
