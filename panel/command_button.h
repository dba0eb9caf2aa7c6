#pragma once

#include <QPushButton>

namespace korvalen {

// A push button that sends its command before it redraws itself. QAbstractButton repaints
// synchronously on press and again on release before it emits clicked(), so a plain button puts two
// full style repaints between the operator's click and the frame leaving; this one lets those
// repaints wait for the next turn of the event loop, where they look the same a moment later.
class CommandButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  bool event(QEvent* event) override;
};

}  // namespace korvalen
