#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <stdexcept>
#include <string>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "tests/serial/pty_pair.h"

namespace korvalen::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

template <typename T>
T* Find(QWidget& window, const char* name) {
  T* const child = window.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) throw std::logic_error(std::string("no control ") + name);
  return child;
}

// The whole program's road, from a typed port to Exit, with a pseudo-terminal playing the device.
TEST(EndToEnd, ConnectFeedbackReadingDroppedReplyAndExitOverARealLine) {
  test::PtyPair device;
  HostSerialLink comm(device.Table());
  frm_Korvalen window(comm);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
  auto* const port = Find<QLineEdit>(window, "Text6");
  auto* const connect = Find<QPushButton>(window, "Command1");
  auto* const feedback = Find<QPushButton>(window, "Command3");
  auto* const exit = Find<QPushButton>(window, "Command2");
  auto* const position = Find<QScrollBar>(window, "HScroll2");

  port->selectAll();
  QTest::keyClicks(port, "1");
  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_EQ(connect->text(), "NotConnect");
  ASSERT_TRUE(comm.PortOpen());

  QTest::mouseClick(feedback, Qt::LeftButton);
  EXPECT_EQ(device.ReadExactly(7, 2s, pump), (Bytes{0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00}));
  device.Write({0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C});
  ASSERT_TRUE(test::PumpUntil([&] { return window.Text(Control::Text3) == " 42"; }, 2s));
  EXPECT_EQ(window.Text(Control::Text4), " 12");

  position->setFocus();
  QTest::keyClick(position, Qt::Key_Right);
  EXPECT_EQ(device.ReadExactly(7, 2s, pump), (Bytes{0x80, 0x00, 0x05, 0xE6, 0x95, 0x00, 0x00}));
  device.Write({0x80, 0x00, 0x00, 0x00, 0x80, 0x01, 0x02});
  test::PumpFor(300ms);
  EXPECT_EQ(window.Text(Control::Text3), " 42");
  EXPECT_EQ(window.Text(Control::Text4), " 12");

  // Exit must end the running event loop; the guard turns a hang into a failure.
  QTimer::singleShot(0, &window, [exit] { QTest::mouseClick(exit, Qt::LeftButton); });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &window, [] { QCoreApplication::exit(99); });
  guard.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(device.ReadExactly(7, 2s), (Bytes{0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00}));
  test::PumpFor(100ms);
  EXPECT_TRUE(device.ReadAvailable().empty()) << "exactly the shutdown frame, nothing after";
  EXPECT_FALSE(comm.PortOpen());
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace korvalen::testing
