#include "panel/focus_ring.h"

#include <QApplication>
#include <QPainter>

namespace korvalen {

FocusRing::FocusRing(QWidget* window) : QFocusFrame(window) {
  hide();  // until a control has the focus
  // The ring, not the window, receives the change: the window, being torn down, still moves the
  // focus away while it is no longer a whole window.
  connect(qApp, &QApplication::focusChanged, this, [this, window](QWidget* /*old*/, QWidget* now) {
    setWidget(window->isAncestorOf(now) ? now : nullptr);
  });
}

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
  // The style's mask leaves only the margin around the control to paint.
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Highlight));
}

}  // namespace korvalen
