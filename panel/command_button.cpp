#include "panel/command_button.h"

#include <QEvent>

namespace korvalen {
namespace {

// The events in which QAbstractButton repaints before it lets the click through.
bool Clicks(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return true;
    default:
      return false;
  }
}

// Holds the button's repaints back for one event; re-enabling posts the one repaint they add up to.
class HeldRepaint {
 public:
  explicit HeldRepaint(QWidget& widget) : widget_(widget) { widget_.setUpdatesEnabled(false); }
  ~HeldRepaint() { widget_.setUpdatesEnabled(true); }
  HeldRepaint(const HeldRepaint&) = delete;
  HeldRepaint& operator=(const HeldRepaint&) = delete;

 private:
  QWidget& widget_;
};

}  // namespace

bool CommandButton::event(QEvent* event) {
  if (!Clicks(event->type()) || !updatesEnabled()) return QPushButton::event(event);
  const HeldRepaint held(*this);
  return QPushButton::event(event);
}

}  // namespace korvalen
