#include "app/demo/demo.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <array>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/serial/pty_pair.h"

namespace korvalen::testing {
namespace {

using namespace std::chrono_literals;
using sim::FaultMode;

// Generous: a sanitizer build on a loaded machine is slow, and a pass never waits this long.
constexpr auto kPatience = 10s;

template <typename T>
T* Find(QWidget& window, const char* name) {
  T* const child = window.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) throw std::logic_error(std::string("no control ") + name);
  return child;
}

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    demo_.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Panel()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Simulator()));
  }

  QWidget& Panel() { return demo_.PanelWindow(); }
  QWidget& Simulator() { return demo_.Simulator(); }
  sim::SimulatedDevice& Device() { return demo_.Device(); }

  void Click(const char* button) {
    QTest::mouseClick(Find<QPushButton>(Panel(), button), Qt::LeftButton);
  }
  void Key(const char* slider, Qt::Key key) {
    auto* const bar = Find<QScrollBar>(Panel(), slider);
    bar->setFocus();
    QTest::keyClick(bar, key);
  }
  [[nodiscard]] QString PanelText(const char* field) {
    return Find<QLineEdit>(Panel(), field)->text();
  }
  [[nodiscard]] QString Shown(const char* label) {
    return Find<QLabel>(Simulator(), label)->text();
  }
  [[nodiscard]] QListWidget& Frames() { return *Find<QListWidget>(Simulator(), "Frames"); }
  [[nodiscard]] QString AxisCell(int row, int column) {
    const QTableWidgetItem* const item = Find<QTableWidget>(Simulator(), "Axes")->item(row, column);
    return item == nullptr ? QString() : item->text();
  }
  [[nodiscard]] bool FramesSeen(std::size_t count) {
    return test::PumpUntil([&] { return Device().History().size() >= count; }, kPatience);
  }

  void Connect() {
    auto* const port = Find<QLineEdit>(Panel(), "Text6");
    port->selectAll();
    QTest::keyClicks(port, "1");
    Click("Command1");
    ASSERT_EQ(Find<QPushButton>(Panel(), "Command1")->text(), "NotConnect");
  }

  Demo demo_;
};

TEST(DemoPorts, OnlyPortOneNamesTheSimulatedDevice) {
  const PortTable ports = DemoPorts("/dev/pts/7");
  EXPECT_EQ(ports.Path(1), "/dev/pts/7");
  for (const int other : {-1, 0, 2, 3, 4, 127, 255, 256}) {
    EXPECT_EQ(ports.Path(other), std::nullopt) << other;
  }
  EXPECT_EQ(ports.Describe(), "1: /dev/pts/7  Simulated device");
}

TEST_F(DemoTest, SimulatorWindowStandsRightOfThePanelAndThePortTooltipNamesTheDevice) {
  EXPECT_EQ(Simulator().windowTitle(), "Simulated device");
  EXPECT_GE(Simulator().frameGeometry().left(), Panel().frameGeometry().right());
  EXPECT_EQ(Simulator().frameGeometry().top(), Panel().frameGeometry().top());

  auto* const port = Find<QLineEdit>(Panel(), "Text6");
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), port->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(port, &help);
  EXPECT_EQ(QToolTip::text().toStdString(), "1: " + Device().SlavePath() + "  Simulated device");
}

TEST_F(DemoTest, AnyPortButOneIsAConnectError) {
  QString seen;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, &Panel(), [&seen] {
    auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  watcher.start(10);
  auto* const port = Find<QLineEdit>(Panel(), "Text6");
  port->selectAll();
  QTest::keyClicks(port, "2");
  Click("Command1");
  EXPECT_EQ(seen, "Connect error!");
  EXPECT_EQ(Find<QPushButton>(Panel(), "Command1")->text(), "Connect");
}

// The road an operator takes, each step seen from both windows.
TEST_F(DemoTest, ConnectFeedbackSlidersStopGoAndExitReachTheDevice) {
  Connect();

  Click("Command3");
  ASSERT_TRUE(test::PumpUntil([&] { return PanelText("Text3") == " 10"; }, kPatience));
  EXPECT_EQ(PanelText("Text4"), " 239") << "a device at rest: idle current, full voltage";
  EXPECT_EQ(Device().RepliesSent(), 1U);
  EXPECT_EQ(Shown("Replies"), "1");
  EXPECT_EQ(Shown("LastReply"), "80 00 00 00 80 0A EF");
  EXPECT_EQ(Frames().item(0)->text(), "80 E8 00 00 98 00 00   Feedback request");
  EXPECT_TRUE(Shown("Line").endsWith("19200,N,8,2")) << Shown("Line").toStdString();

  Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(FramesSeen(2));
  EXPECT_EQ(Device().Model().AxisNow(0).set_point, 1510);
  EXPECT_EQ(AxisCell(0, 0), "0");
  EXPECT_EQ(AxisCell(0, 1), "1510");

  Key("HScroll3", Qt::Key_Left);
  ASSERT_TRUE(FramesSeen(3));
  EXPECT_EQ(Device().Model().AxisNow(0).speed, 99);
  EXPECT_EQ(AxisCell(0, 2), "99");

  // The ID slider itself sends nothing; the next position goes to the new ID alone.
  Key("HScroll1", Qt::Key_Right);
  Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(FramesSeen(4));
  EXPECT_EQ(Frames().item(0)->text(), "80 01 05 F0 8A 00 00   Position ID 1 -> 1520");
  EXPECT_EQ(Device().Model().AxisNow(1).set_point, 1520);
  EXPECT_EQ(Device().Model().AxisNow(0).set_point, 1510);
  EXPECT_EQ(AxisCell(1, 0), "1");
  EXPECT_EQ(AxisCell(1, 1), "1520");

  ASSERT_TRUE(Device().Model().Running());
  Click("Command4");
  ASSERT_TRUE(FramesSeen(5));
  EXPECT_FALSE(Device().Model().Running());
  EXPECT_EQ(Shown("State"), "Stopped");
  EXPECT_EQ(Find<QPushButton>(Panel(), "Command4")->text(), "GO");
  Click("Command4");
  ASSERT_TRUE(FramesSeen(6));
  EXPECT_TRUE(Device().Model().Running());
  EXPECT_TRUE(Shown("State").startsWith("Running")) << Shown("State").toStdString();

  // Exit must end the running event loop; the guard turns a hang into a failure.
  auto* const exit = Find<QPushButton>(Panel(), "Command2");
  QTimer::singleShot(0, &Panel(), [exit] { QTest::mouseClick(exit, Qt::LeftButton); });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &Panel(), [] { QCoreApplication::exit(99); });
  guard.start(std::chrono::milliseconds(kPatience));
  ASSERT_EQ(QApplication::exec(), 0);
  ASSERT_TRUE(FramesSeen(7));
  EXPECT_TRUE(Device().Model().ShutDown());
  EXPECT_EQ(Shown("State"), "Shut down");
  EXPECT_EQ(Frames().item(0)->text(), "80 EF 00 00 91 00 00   Shutdown");
  EXPECT_FALSE(Panel().isVisible());
}

TEST_F(DemoTest, EveryFaultChoiceSetsTheDeviceMode) {
  constexpr std::array kInOrder{FaultMode::None,         FaultMode::NoReply,
                                FaultMode::DelayedReply, FaultMode::SplitReply,
                                FaultMode::StrayByte,    FaultMode::WrongCheckByte,
                                FaultMode::GarbageBurst, FaultMode::HangUp};
  auto* const choice = Find<QComboBox>(Simulator(), "FaultMode");
  ASSERT_EQ(choice->count(), static_cast<int>(kInOrder.size()));
  EXPECT_EQ(Device().Mode(), FaultMode::None);
  choice->setFocus();
  for (std::size_t i = 1; i < kInOrder.size(); ++i) {
    QTest::keyClick(choice, Qt::Key_Down);
    EXPECT_EQ(Device().Mode(), kInOrder[i]) << choice->currentText().toStdString();
  }
  QTest::keyClick(choice, Qt::Key_Home);
  EXPECT_EQ(Device().Mode(), FaultMode::None);
}

TEST_F(DemoTest, NoReplyChoiceLeavesTheReadingsAlone) {
  Connect();
  auto* const choice = Find<QComboBox>(Simulator(), "FaultMode");
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  ASSERT_EQ(Device().Mode(), FaultMode::NoReply);

  Click("Command3");
  ASSERT_TRUE(FramesSeen(1));
  test::PumpFor(200ms);
  EXPECT_EQ(Device().RepliesSent(), 0U);
  EXPECT_EQ(Shown("Replies"), "0");
  EXPECT_EQ(PanelText("Text3"), "0");

  QTest::keyClick(choice, Qt::Key_Up);
  Click("Command3");
  ASSERT_TRUE(test::PumpUntil([&] { return PanelText("Text3") == " 10"; }, kPatience));
  EXPECT_EQ(Shown("Replies"), "1");
}

TEST_F(DemoTest, FramesAreListedNewestFirstAndTheListStaysBounded) {
  Connect();
  constexpr int kMoves = 60;
  for (int i = 0; i < kMoves; ++i) Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(test::PumpUntil(
      [&] {
        return !Device().History().empty() && Device().History().front().command.value == 2100;
      },
      kPatience));

  const int bound = static_cast<int>(sim::SimulatedDevice::kHistorySize);
  ASSERT_LT(bound, kMoves);
  ASSERT_EQ(Frames().count(), bound);
  EXPECT_EQ(Frames().item(0)->text(), "80 00 08 34 44 00 00   Position ID 0 -> 2100");
  for (int row = 0; row < bound; ++row) {
    EXPECT_TRUE(Frames().item(row)->text().endsWith(
        QStringLiteral("Position ID 0 -> %1").arg(2100 - 10 * row)))
        << row << ": " << Frames().item(row)->text().toStdString();
  }
}

TEST_F(DemoTest, PositionCreepsOnScreenWhileTheAxisMovesWithoutFurtherFrames) {
  Connect();
  Key("HScroll3", Qt::Key_Home);  // speed 1: ten units a second
  Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(FramesSeen(2));
  ASSERT_EQ(Device().Model().AxisNow(0).set_point, 1510);
  EXPECT_EQ(Shown("State"), "Running, moving");

  ASSERT_TRUE(test::PumpUntil([&] { return AxisCell(0, 3) == "1510"; }, kPatience))
      << "position shown: " << AxisCell(0, 3).toStdString();
  EXPECT_TRUE(test::PumpUntil([&] { return Shown("State") == "Running"; }, kPatience));
  EXPECT_EQ(Device().History().size(), 2U);
}

TEST_F(DemoTest, FrameWithAWrongCheckByteIsCountedAsRejected) {
  Connect();
  // A second writer on the panel's end of the line, as a noisy cable would be.
  const int line = ::open(Device().SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  const std::array<std::uint8_t, 7> bad{0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00};
  EXPECT_EQ(::write(line, bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
  ::close(line);
  ASSERT_TRUE(test::PumpUntil([&] { return Device().RejectedFrames() == 1; }, kPatience));
  EXPECT_TRUE(Shown("Rejected").startsWith("1 (")) << Shown("Rejected").toStdString();
  EXPECT_EQ(Frames().count(), 0);
}

}  // namespace
}  // namespace korvalen::testing
