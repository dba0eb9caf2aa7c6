#include "bench/panel_rig.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "tests/support/controls.h"

namespace korvalen::bench {

PanelRig::PanelRig() : comm_(pty_.Table()), window_(comm_) {
  window_.show();
  if (!QTest::qWaitForWindowExposed(&window_)) throw std::runtime_error("the window never showed");
  auto& connect = test::Find<QPushButton>(window_, "Command1");
  QTest::mouseClick(&connect, Qt::LeftButton);
  if (!comm_.PortOpen() || connect.text() != QStringLiteral("NotConnect")) {
    throw std::runtime_error("the panel did not connect to " + pty_.SlavePath());
  }
  Settle();
}

void Settle() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace korvalen::bench
