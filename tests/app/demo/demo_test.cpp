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

// Generous: a sanitizer build on a loaded machine is slow, and a pass never waits this long.
constexpr int kPatienceMs = 10'000;

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    demo_.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&demo_.PanelWindow()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&demo_.Simulator()));
  }

  // Types the port number and clicks Command1; the caption tells whether it connected.
  QString Connect(const char* port) {
    Find<QLineEdit>(demo_.PanelWindow(), "Text6").selectAll();
    QTest::keyClicks(&Find<QLineEdit>(demo_.PanelWindow(), "Text6"), port);
    Click("Command1");
    return Find<QPushButton>(demo_.PanelWindow(), "Command1").text();
  }
  void Click(const char* name) {
    QTest::mouseClick(&Find<QPushButton>(demo_.PanelWindow(), name), Qt::LeftButton);
  }
  void Key(const char* slider, Qt::Key key) {
    Find<QScrollBar>(demo_.PanelWindow(), slider).setFocus();
    QTest::keyClick(&Find<QScrollBar>(demo_.PanelWindow(), slider), key);
  }
  [[nodiscard]] bool FramesSeen(std::size_t count) {
    return QTest::qWaitFor([&] { return demo_.Device().History().size() >= count; }, kPatienceMs);
  }
  [[nodiscard]] QString Reading(const char* field) {
    return Find<QLineEdit>(demo_.PanelWindow(), field).text();
  }
  [[nodiscard]] QString Shown(const char* label) {
    return Find<QLabel>(demo_.Simulator(), label).text();
  }
  [[nodiscard]] QString Frame(int row) {
    return Find<QListWidget>(demo_.Simulator(), "Frames").item(row)->text();
  }
  [[nodiscard]] QString AxisCell(int row, int column) {
    const QTableWidgetItem* const item =
        Find<QTableWidget>(demo_.Simulator(), "Axes").item(row, column);
    return item == nullptr ? QString() : item->text();
  }

  Demo demo_;
};

// The road an operator takes, each step seen from both windows.
TEST_F(DemoTest, ConnectFaultChoiceFeedbackSlidersStopGoAndExitReachTheDevice) {
  sim::SimulatedDevice& device = demo_.Device();
  EXPECT_GE(demo_.Simulator().frameGeometry().left(), demo_.PanelWindow().frameGeometry().right());
  EXPECT_EQ(demo_.Simulator().frameGeometry().top(), demo_.PanelWindow().frameGeometry().top());
  auto& port = Find<QLineEdit>(demo_.PanelWindow(), "Text6");
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), port.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&port, &help);
  EXPECT_EQ(QToolTip::text().toStdString(), "1: " + device.SlavePath() + "  Simulated device");
  {
    test::MessageBoxes boxes;
    EXPECT_EQ(Connect("2"), "Connect") << "port 1 is the only port";
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{"Connect error!"});
  }
  ASSERT_EQ(Connect("1"), "NotConnect");

  auto& fault = Find<QComboBox>(demo_.Simulator(), "FaultMode");
  fault.setFocus();
  QTest::keyClick(&fault, Qt::Key_Down);
  ASSERT_EQ(device.Mode(), sim::FaultMode::NoReply);
  Click("Command3");
  ASSERT_TRUE(FramesSeen(1));
  QTest::qWait(200);
  EXPECT_EQ(Shown("Replies"), "0");
  EXPECT_EQ(Reading("Text3"), "0");
  QTest::keyClick(&fault, Qt::Key_Up);
  Click("Command3");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Reading("Text3") == " 10"; }, kPatienceMs));
  EXPECT_EQ(Reading("Text4"), " 239") << "a device at rest: idle current, full voltage";
  EXPECT_EQ(Shown("Replies"), "1");
  EXPECT_EQ(Shown("LastReply"), "80 00 00 00 80 0A EF");
  EXPECT_EQ(Frame(0), "80 E8 00 00 98 00 00   Feedback request");
  EXPECT_TRUE(Shown("Line").endsWith("19200,N,8,2")) << Shown("Line").toStdString();

  Key("HScroll3", Qt::Key_Home);  // speed 1: ten units a second, slow enough to watch
  Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(FramesSeen(4));
  EXPECT_EQ(AxisCell(0, 1), "1510");
  EXPECT_EQ(AxisCell(0, 2), "1");
  EXPECT_EQ(Shown("State"), "Running, moving");
  EXPECT_TRUE(QTest::qWaitFor([&] { return AxisCell(0, 3) == "1510"; }, kPatienceMs))
      << "the position creeps on screen without further frames";
  EXPECT_TRUE(QTest::qWaitFor([&] { return Shown("State") == "Running"; }, kPatienceMs));
  // The ID slider itself sends nothing; the next position goes to the new ID alone.
  Key("HScroll1", Qt::Key_Right);
  Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(FramesSeen(5));
  EXPECT_EQ(Frame(0), "80 01 05 F0 8A 00 00   Position ID 1 -> 1520");
  EXPECT_EQ(AxisCell(1, 0), "1");
  EXPECT_EQ(AxisCell(1, 1), "1520");

  // A second writer on the panel's end of the line, as a noisy cable would be.
  const int line = ::open(device.SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  const std::uint8_t bad[] = {0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00};
  EXPECT_EQ(::write(line, bad, sizeof bad), 7);
  ::close(line);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Shown("Rejected") == "1 (7 bytes skipped)"; }, kPatienceMs));

  Click("Command4");
  ASSERT_TRUE(FramesSeen(6));
  EXPECT_EQ(Shown("State"), "Stopped");
  EXPECT_EQ(Find<QPushButton>(demo_.PanelWindow(), "Command4").text(), "GO");
  Click("Command4");
  ASSERT_TRUE(FramesSeen(7));
  EXPECT_TRUE(Shown("State").startsWith("Running"));

  // Exit must end the running event loop; the guard turns a hang into a failure.
  QTimer::singleShot(0, &demo_.PanelWindow(), [this] { Click("Command2"); });
  QTimer::singleShot(kPatienceMs, &demo_.PanelWindow(), [] { QCoreApplication::exit(99); });
  ASSERT_EQ(QApplication::exec(), 0);
  ASSERT_TRUE(FramesSeen(8));
  EXPECT_EQ(Shown("State"), "Shut down");
  EXPECT_EQ(Frame(0), "80 EF 00 00 91 00 00   Shutdown");
  EXPECT_FALSE(demo_.PanelWindow().isVisible());
}

TEST_F(DemoTest, FramesAreListedNewestFirstAndTheListStaysBounded) {
  ASSERT_EQ(Connect("1"), "NotConnect");
  for (int i = 0; i < 60; ++i) Key("HScroll2", Qt::Key_Right);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Frame(0).endsWith("Position ID 0 -> 2100"); }, kPatienceMs));
  ASSERT_EQ(Find<QListWidget>(demo_.Simulator(), "Frames").count(), 50);
  for (int row = 0; row < 50; ++row) {
    EXPECT_TRUE(Frame(row).endsWith(QStringLiteral("Position ID 0 -> %1").arg(2100 - 10 * row)))
        << row;
  }
}

}  // namespace
}  // namespace korvalen
