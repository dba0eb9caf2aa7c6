#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <memory>

#include "panel/frm_korvalen.h"
#include "protocol/frame.h"
#include "recording_link.h"
#include "tests/support/controls.h"

namespace korvalen::testing {
namespace {

using test::Find;

std::vector<std::uint8_t> Bytes(const CommandFrame& frame) {
  return {frame.begin(), frame.end()};
}

class OperatorInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(&Find<QPushButton>(window, "Command1"), Qt::LeftButton);
    ASSERT_TRUE(link.PortOpen());
    link.ClearCalls();
  }

  // A wheel turn of `angle` eighths of a degree over the middle of `slider`.
  static void Wheel(QScrollBar& slider, int angle) {
    const QPointF middle = QRectF(slider.rect()).center();
    QWheelEvent turn(middle, slider.mapToGlobal(middle), QPoint(), QPoint(0, angle), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider, &turn);
  }

  RecordingLink link;
  frm_Korvalen window{link};
};

TEST_F(OperatorInputTest, WheelMovesOnlyAFocusedSliderOneSmallStepPerNotch) {
  auto& position = Find<QScrollBar>(window, "HScroll2");
  Find<QPushButton>(window, "Command3").setFocus();
  Wheel(position, 120);
  EXPECT_EQ(position.value(), 1500);
  EXPECT_TRUE(link.Written().empty()) << "a wheel passing over the panel moved the device";

  position.setFocus();
  Wheel(position, 120);
  EXPECT_EQ(position.value(), 1510);
  ASSERT_EQ(link.Written().size(), 1U);
  EXPECT_EQ(link.Written()[0], Bytes(PositionFrame(0, 1510)));

  // A touchpad's small deltas add up to one notch before the slider moves.
  for (int i = 0; i < 3; ++i) Wheel(position, 40);
  EXPECT_EQ(position.value(), 1520);
  EXPECT_EQ(link.Written().size(), 2U);
  Wheel(position, -120);
  EXPECT_EQ(position.value(), 1510);

  auto& id = Find<QScrollBar>(window, "HScroll1");
  auto& speed = Find<QScrollBar>(window, "HScroll3");
  id.setFocus();
  Wheel(id, 120);
  speed.setFocus();
  Wheel(speed, -120);
  EXPECT_EQ(id.value(), 1);
  EXPECT_EQ(speed.value(), 99);
}

TEST_F(OperatorInputTest, EnterOnAFocusedButtonClicksItOnce) {
  auto& feedback = Find<QPushButton>(window, "Command3");
  feedback.setFocus();
  QTest::keyClick(&feedback, Qt::Key_Return);
  auto& stop_go = Find<QPushButton>(window, "Command4");
  stop_go.setFocus();
  QTest::keyClick(&stop_go, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(stop_go.text(), "GO");
  ASSERT_EQ(link.Written().size(), 2U);
  EXPECT_EQ(link.Written()[0], Bytes(FeedbackFrame()));

  auto& connect = Find<QPushButton>(window, "Command1");
  connect.setFocus();
  QTest::keyClick(&connect, Qt::Key_Return);
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(connect.text(), "Connect");
}

TEST_F(OperatorInputTest, TheIdSliderClearsTheMarkOfATypedId) {
  auto& id_field = Find<QLineEdit>(window, "Text1");
  id_field.setText("300");
  Find<QScrollBar>(window, "HScroll2").triggerAction(QScrollBar::SliderSingleStepAdd);
  ASSERT_FALSE(id_field.toolTip().isEmpty());
  Find<QScrollBar>(window, "HScroll1").triggerAction(QScrollBar::SliderSingleStepAdd);
  EXPECT_EQ(id_field.text(), "1");
  EXPECT_TRUE(id_field.toolTip().isEmpty());
  EXPECT_TRUE(id_field.styleSheet().isEmpty());
}

}  // namespace
}  // namespace korvalen::testing
