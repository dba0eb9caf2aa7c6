#include "app/demo/demo.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "tests/support/controls.h"

namespace korvalen {
namespace {

using test::Find;

// The road an operator takes, each step seen from both windows.
TEST(Demo, ConnectFaultChoiceFeedbackSlidersStopGoAndExitReachTheDevice) {
  Demo demo;
  demo.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&demo.PanelWindow()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&demo.Simulator()));
  const sim::SimulatedDevice& device = demo.Device();
  QWidget& panel = demo.PanelWindow();
  const auto text = [&panel](const char* name) { return Find<QLineEdit>(panel, name).text(); };
  const auto click = [&panel](const char* name) {
    QTest::mouseClick(&Find<QPushButton>(panel, name), Qt::LeftButton);
  };
  const auto key = [&panel](const char* slider, Qt::Key key_pressed) {
    Find<QScrollBar>(panel, slider).setFocus();
    QTest::keyClick(&Find<QScrollBar>(panel, slider), key_pressed);
  };
  const auto shown = [&demo](const char* label) {
    return Find<QLabel>(demo.Simulator(), label).text();
  };
  auto& frames = Find<QListWidget>(demo.Simulator(), "Frames");
  auto& axes = Find<QTableWidget>(demo.Simulator(), "Axes");
  const auto axis = [&axes](int row, int column) {
    return axes.item(row, column) == nullptr ? QString() : axes.item(row, column)->text();
  };
  // Generous: a sanitizer build on a loaded machine is slow, and a pass never waits this long.
  const auto frames_seen = [&device](std::size_t n) {
    return QTest::qWaitFor([&] { return device.History().size() >= n; }, 10'000);
  };

  EXPECT_GE(demo.Simulator().frameGeometry().left(), panel.frameGeometry().right());
  EXPECT_EQ(demo.Simulator().frameGeometry().top(), panel.frameGeometry().top());
  auto& port = Find<QLineEdit>(panel, "Text6");
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), port.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&port, &help);
  EXPECT_EQ(QToolTip::text().toStdString(), "1: " + device.SlavePath() + "  Simulated device");
  for (const char* number : {"2", "1"}) {
    const test::MessageBoxes boxes;
    port.selectAll();
    QTest::keyClicks(&port, number);
    click("Command1");
    EXPECT_EQ(boxes.All().size(), *number == '2' ? 1U : 0U) << "port 1 is the only port";
  }
  ASSERT_EQ(Find<QPushButton>(panel, "Command1").text(), "NotConnect");

  auto& fault = Find<QComboBox>(demo.Simulator(), "FaultMode");
  fault.setFocus();
  QTest::keyClick(&fault, Qt::Key_Down);
  ASSERT_EQ(device.Mode(), sim::FaultMode::NoReply);
  click("Command3");
  ASSERT_TRUE(frames_seen(1));
  QTest::qWait(200);
  EXPECT_EQ(shown("Replies"), "0");
  EXPECT_EQ(text("Text3"), "0");
  QTest::keyClick(&fault, Qt::Key_Up);
  click("Command3");
  ASSERT_TRUE(QTest::qWaitFor([&] { return text("Text3") == " 10"; }, 10'000));
  EXPECT_EQ(text("Text4"), " 239") << "a device at rest: idle current, full voltage";
  EXPECT_EQ(shown("Replies"), "1");
  EXPECT_EQ(shown("LastReply"), "80 00 00 00 80 0A EF");
  EXPECT_EQ(frames.item(0)->text(), "80 E8 00 00 98 00 00   Feedback request");
  EXPECT_TRUE(shown("Line").endsWith("19200,N,8,2")) << shown("Line").toStdString();

  key("HScroll3", Qt::Key_Home);  // speed 1: ten units a second, slow enough to watch
  key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(frames_seen(4));
  EXPECT_EQ(axis(0, 1), "1510");
  EXPECT_EQ(axis(0, 2), "1");
  EXPECT_EQ(shown("State"), "Running, moving");
  EXPECT_TRUE(QTest::qWaitFor([&] { return axis(0, 3) == "1510"; }, 10'000))
      << "the position creeps on screen without further frames";
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown("State") == "Running"; }, 10'000));
  // The ID slider itself sends nothing; the next position goes to the new ID alone.
  key("HScroll1", Qt::Key_Right);
  key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(frames_seen(5));
  EXPECT_EQ(frames.item(0)->text(), "80 01 05 F0 8A 00 00   Position ID 1 -> 1520");
  EXPECT_EQ(axis(1, 0), "1");
  EXPECT_EQ(axis(1, 1), "1520");

  // A second writer on the panel's end of the line, as a noisy cable would be.
  const int line = ::open(device.SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  const std::uint8_t bad[] = {0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00};
  EXPECT_EQ(::write(line, bad, sizeof bad), 7);
  ::close(line);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown("Rejected") == "1 (7 bytes skipped)"; }, 10'000));

  click("Command4");
  ASSERT_TRUE(frames_seen(6));
  EXPECT_EQ(shown("State"), "Stopped");
  EXPECT_EQ(Find<QPushButton>(panel, "Command4").text(), "GO");
  click("Command4");
  ASSERT_TRUE(frames_seen(7));
  EXPECT_TRUE(shown("State").startsWith("Running"));

  // The list keeps the newest frames first and no more than the device remembers.
  for (int i = 0; i < 60; ++i) key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return device.History().front().command.value == 2120; }, 10'000));
  ASSERT_EQ(frames.count(), 50);
  for (int row = 0; row < 50; ++row) {
    EXPECT_TRUE(
        frames.item(row)->text().endsWith(QStringLiteral("ID 1 -> %1").arg(2120 - 10 * row)))
        << row;
  }

  // Exit must end the running event loop; the guard turns a hang into a failure.
  QTimer::singleShot(0, &panel, [&click] { click("Command2"); });
  QTimer::singleShot(10'000, &panel, [] { QCoreApplication::exit(99); });
  ASSERT_EQ(QApplication::exec(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown("State") == "Shut down"; }, 10'000));
  EXPECT_EQ(frames.item(0)->text(), "80 EF 00 00 91 00 00   Shutdown");
  EXPECT_FALSE(panel.isVisible());
}

}  // namespace
}  // namespace korvalen
