#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/controls.h"

namespace korvalen::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::Find;

// The whole program's road, from a typed port to Exit, with a pseudo-terminal playing the device.
TEST(EndToEnd, ConnectFeedbackReadingDroppedReplyAndExitOverARealLine) {
  sim::PseudoTerminal device;
  HostSerialLink comm(device.Table());
  frm_Korvalen window(comm);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  // The port field starts at 1, the pseudo-terminal's number.
  QTest::mouseClick(&Find<QPushButton>(window, "Command1"), Qt::LeftButton);
  ASSERT_TRUE(comm.PortOpen());

  QTest::mouseClick(&Find<QPushButton>(window, "Command3"), Qt::LeftButton);
  EXPECT_EQ(device.Read(7, 2s), (Bytes{0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00}));
  device.Write(Bytes{0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C});
  const auto readings = [&window] {
    return window.Text(Control::Text3) + window.Text(Control::Text4);
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return readings() == " 42 12"; }, 2000));

  // After a slider move the next reply is drained and dropped.
  QTest::keyClick(&Find<QScrollBar>(window, "HScroll2"), Qt::Key_Right);
  EXPECT_EQ(device.Read(7, 2s), (Bytes{0x80, 0x00, 0x05, 0xE6, 0x95, 0x00, 0x00}));
  device.Write(Bytes{0x80, 0x00, 0x00, 0x00, 0x80, 0x01, 0x02});
  QTest::qWait(300);
  EXPECT_EQ(readings(), " 42 12");

  // Exit must end the running event loop; the guard turns a hang into a failure.
  QTimer::singleShot(0, &window, [&window] {
    QTest::mouseClick(&Find<QPushButton>(window, "Command2"), Qt::LeftButton);
  });
  QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(device.Read(7, 2s), (Bytes{0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00}));
  QTest::qWait(100);
  EXPECT_TRUE(device.ReadAvailable().empty()) << "exactly the shutdown frame, nothing after";
  EXPECT_FALSE(comm.PortOpen());
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace korvalen::testing
