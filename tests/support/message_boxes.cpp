#include <QAbstractButton>
#include <QApplication>
#include <QEvent>

#include "tests/support/controls.h"

namespace korvalen::test {

MessageBoxes::MessageBoxes(std::function<void()> while_open) : while_open_(std::move(while_open)) {
  QApplication::instance()->installEventFilter(this);
}

MessageBoxes::~MessageBoxes() {
  QApplication::instance()->removeEventFilter(this);
}

std::vector<QString> MessageBoxes::Texts() const {
  std::vector<QString> texts;
  for (const Seen& box : seen_) texts.push_back(box.text);
  return texts;
}

bool MessageBoxes::eventFilter(QObject* watched, QEvent* event) {
  auto* const box = qobject_cast<QMessageBox*>(watched);
  if (box != nullptr && event->type() == QEvent::Show) {
    seen_.push_back({box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                     box->standardButtons()});
    // Answered from the box's own event loop, the way an operator's click would come.
    QMetaObject::invokeMethod(
        box,
        [this, box] {
          if (while_open_) while_open_();
          if (QAbstractButton* const ok = box->button(QMessageBox::Ok)) {
            ok->click();
          } else {
            box->reject();
          }
        },
        Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace korvalen::test
