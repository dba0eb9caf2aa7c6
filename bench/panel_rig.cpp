#include "bench/panel_rig.h"

#include <QCoreApplication>
#include <QTest>
#include <stdexcept>
#include <string>

namespace korvalen::bench {

PanelRig::PanelRig() : comm_(pty_.Table()), window_(comm_) {
  window_.show();
  if (!QTest::qWaitForWindowExposed(&window_)) throw std::runtime_error("the window never showed");
  Click(Button("Command1"));
  if (!comm_.PortOpen() || Button("Command1").text() != QStringLiteral("NotConnect")) {
    throw std::runtime_error("the panel did not connect to " + pty_.SlavePath());
  }
  Settle();
}

void PanelRig::Click(QPushButton& button) {
  QTest::mouseClick(&button, Qt::LeftButton);
}

template <typename T>
T& PanelRig::Find(const char* name) {
  T* const child = window_.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) throw std::logic_error(std::string("no control ") + name);
  return *child;
}

template QPushButton& PanelRig::Find<QPushButton>(const char*);
template QLineEdit& PanelRig::Find<QLineEdit>(const char*);
template QScrollBar& PanelRig::Find<QScrollBar>(const char*);

void Settle() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace korvalen::bench
