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

// The road an operator takes, each step seen from both windows. Waits are generous: a sanitizer
// build on a loaded machine is slow, and a pass never waits that long.
TEST(Demo, ConnectFaultChoiceFeedbackSlidersStopGoAndExitReachTheDevice) {
  Demo demo;
  demo.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&demo.Simulator()));
  const sim::SimulatedDevice& device = demo.Device();
  QWidget& panel = demo.PanelWindow();
  const auto key = [&panel](const char* slider, Qt::Key key_pressed) {
    Find<QScrollBar>(panel, slider).setFocus();
    QTest::keyClick(&Find<QScrollBar>(panel, slider), key_pressed);
  };
  // What both windows show: the readings, then the simulator's labels and its newest frame.
  const auto seen = [&] {
    QStringList texts{Find<QLineEdit>(panel, "Text3").text(),
                      Find<QLineEdit>(panel, "Text4").text()};
    for (const char* label : {"State", "Replies", "LastReply", "Rejected"}) {
      texts.append(Find<QLabel>(demo.Simulator(), label).text());
    }
    auto& frames = Find<QListWidget>(demo.Simulator(), "Frames");
    return texts << (frames.count() == 0 ? QString() : frames.item(0)->text());
  };
  const auto frames_seen = [&device](std::size_t n) {
    return QTest::qWaitFor([&] { return device.History().size() >= n; }, 10'000);
  };
  auto& axes = Find<QTableWidget>(demo.Simulator(), "Axes");

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
    test::Click(panel, "Command1");
    EXPECT_EQ(boxes.All().size(), *number == '2' ? 1U : 0U) << "port 1 is the only port";
  }
  ASSERT_EQ(Find<QPushButton>(panel, "Command1").text(), "NotConnect");

  auto& fault = Find<QComboBox>(demo.Simulator(), "FaultMode");
  fault.setFocus();
  QTest::keyClick(&fault, Qt::Key_Down);
  ASSERT_EQ(device.Mode(), sim::FaultMode::kNoReply);
  test::Click(panel, "Command3");
  ASSERT_TRUE(frames_seen(1));
  QTest::qWait(200);
  EXPECT_EQ(seen().mid(0, 4), (QStringList{"0", "0", "Running", "0"}));
  QTest::keyClick(&fault, Qt::Key_Up);
  test::Click(panel, "Command3");
  EXPECT_TRUE(QTest::qWaitFor([&] { return seen()[0] == " 10"; }, 10'000));
  EXPECT_EQ(seen(),
            (QStringList{" 10", " 239", "Running", "1", "80 00 00 00 80 0A EF",
                         "0 (0 bytes skipped)", "80 E8 00 00 98 00 00   feedback request"}));
  EXPECT_TRUE(Find<QLabel>(demo.Simulator(), "Line").text().endsWith("19200,N,8,2"));

  key("HScroll3", Qt::Key_PageDown);  // speed 99
  key("HScroll2", Qt::Key_End);       // 900 units away: the move takes about a second
  ASSERT_TRUE(frames_seen(4));
  EXPECT_EQ(seen()[2], "Running, moving");
  EXPECT_TRUE(QTest::qWaitFor([&] { return axes.item(0, 3)->text() == "2400"; }, 10'000))
      << "the position creeps on screen without further frames";
  EXPECT_TRUE(QTest::qWaitFor([&] { return seen()[2] == "Running"; }, 10'000));
  // The table shows what the device holds; the edit key opens no editor to type into it.
  axes.setCurrentCell(0, 1);
  QTest::keyClick(&axes, Qt::Key_F2);
  EXPECT_EQ(axes.findChild<QLineEdit*>(), nullptr);
  // The ID slider itself sends nothing; the next position goes to the new ID alone.
  key("HScroll1", Qt::Key_Right);
  key("HScroll2", Qt::Key_Left);
  ASSERT_TRUE(frames_seen(5));
  EXPECT_EQ(seen()[6], "80 01 09 56 20 00 00   position id 1 2390");
  const auto row = [&axes](int r) {
    return QStringList{axes.item(r, 0)->text(), axes.item(r, 1)->text(), axes.item(r, 2)->text()};
  };
  EXPECT_EQ(row(0) + row(1), (QStringList{"0", "2400", "99", "1", "2390", "100"}));

  // A second writer on the panel's end of the line, as a noisy cable would be.
  const int line = ::open(device.SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  const std::uint8_t bad[] = {0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00};
  EXPECT_EQ(::write(line, bad, sizeof bad), 7);
  ::close(line);
  EXPECT_TRUE(QTest::qWaitFor([&] { return seen()[5] == "1 (7 bytes skipped)"; }, 10'000));

  test::Click(panel, "Command4");
  ASSERT_TRUE(frames_seen(6));
  EXPECT_EQ(seen()[2], "Stopped");
  EXPECT_EQ(Find<QPushButton>(panel, "Command4").text(), "GO");
  test::Click(panel, "Command4");
  ASSERT_TRUE(frames_seen(7));
  EXPECT_TRUE(seen()[2].startsWith("Running"));

  // The list keeps the newest frames first and no more than the device remembers.
  for (int i = 0; i < 60; ++i) key("HScroll2", Qt::Key_Left);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen()[6].endsWith("id 1 1790"); }, 10'000));
  auto& frames = Find<QListWidget>(demo.Simulator(), "Frames");
  ASSERT_EQ(frames.count(), 50);
  for (int r = 0; r < 50; ++r) {
    EXPECT_TRUE(frames.item(r)->text().endsWith(QStringLiteral("id 1 %1").arg(1790 + 10 * r)));
  }

  // Exit must end the running event loop; the guard turns a hang into a failure.
  QTimer::singleShot(0, &panel, [&panel] { test::Click(panel, "Command2"); });
  QTimer::singleShot(10'000, &panel, [] { QCoreApplication::exit(99); });
  ASSERT_EQ(QApplication::exec(), 0);
  ASSERT_TRUE(frames_seen(8) && QTest::qWaitFor([&] { return seen()[2] == "Shut down"; }, 10'000));
  EXPECT_EQ(seen()[6], "80 EF 00 00 91 00 00   shutdown");
  EXPECT_FALSE(panel.isVisible());
}

}  // namespace
}  // namespace korvalen
