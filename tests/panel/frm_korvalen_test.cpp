#include "panel/frm_korvalen.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <tuple>

#include "recording_link.h"
#include "tests/panel/scroll_bar_part.h"
#include "tests/support/controls.h"

namespace korvalen::testing {
namespace {

using Calls = std::vector<std::string>;
using test::Click;
using test::Find;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Click(window, "Command1");
    link.calls.clear();
  }

  RecordingLink link;
  std::string description;
  frm_Korvalen window{link, [this] { return description; }};
};

TEST_F(WindowTest, SlidersMirrorOnEveryCommitAndADraggedThumbSendsAFramePerValueAndOnRelease) {
  // Slider, the field that mirrors it, which way it has room to move, and whether it sends.
  const std::tuple<const char*, Control, int, bool> cases[] = {
      {"HScroll1", Control::Text1, 3, false},
      {"HScroll2", Control::Text2, 3, true},
      {"HScroll3", Control::Text5, -3, true}};
  for (const auto& [slider, mirror, dx, sends] : cases) {
    SCOPED_TRACE(slider);
    link.calls.clear();
    auto& bar = Find<QScrollBar>(window, slider);
    const QSignalSpy changes(&bar, &QScrollBar::valueChanged);
    const QPoint start = test::ScrollBarPart(&bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 5; ++step) QTest::mouseMove(&bar, start + QPoint(step * dx, 0));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, start + QPoint(5 * dx, 0));
    ASSERT_GE(changes.count(), 2);
    EXPECT_EQ(window.Text(mirror), std::to_string(bar.value()));
    // Each frame is two calls: the input is cleared, then the frame written.
    ASSERT_EQ(link.calls.size(), sends ? 2 * static_cast<std::size_t>(changes.count() + 1) : 0u);
    if (sends) {
      EXPECT_EQ(link.calls.back(), link.calls[link.calls.size() - 3]) << "release resends";
    }
  }

  // One click on the ID slider's right arrow from 0.
  link.calls.clear();
  auto& id = Find<QScrollBar>(window, "HScroll1");
  id.setValue(0);
  QTest::mouseClick(&id, Qt::LeftButton, {},
                    test::ScrollBarPart(&id, QStyle::SC_ScrollBarAddLine).center());
  EXPECT_EQ(window.Text(Control::Text1), "1");
  // A click in the trough also moves the ID by one: the next device, never one skipped over.
  QTest::mouseClick(&id, Qt::LeftButton, {},
                    test::ScrollBarPart(&id, QStyle::SC_ScrollBarAddPage).center());
  EXPECT_EQ(window.Text(Control::Text1), "2");
  EXPECT_TRUE(link.calls.empty());
}

// An arrow moves a sending slider by one small step, and the thumb pulled past the left end stops
// at the least value the device takes.
TEST_F(WindowTest, AnArrowStepsOnceAndTheLeftEndIsTheLeastValue) {
  const std::tuple<const char*, Control, int, const char*, const char*> cases[] = {
      {"HScroll2", Control::Text2, 1500, "1510", "600"},
      {"HScroll3", Control::Text5, 50, "51", "1"}};
  for (const auto& [slider, mirror, start, stepped, least] : cases) {
    SCOPED_TRACE(slider);
    auto& bar = Find<QScrollBar>(window, slider);
    bar.setValue(start);
    QTest::mouseClick(&bar, Qt::LeftButton, {},
                      test::ScrollBarPart(&bar, QStyle::SC_ScrollBarAddLine).center());
    EXPECT_EQ(window.Text(mirror), stepped);
    const QPoint thumb = test::ScrollBarPart(&bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(&bar, thumb - QPoint(bar.width(), 0));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, thumb - QPoint(bar.width(), 0));
    EXPECT_EQ(window.Text(mirror), least);
  }
}

// Counts the paint events of the widget it watches.
class Paints : public QObject {
 public:
  explicit Paints(QWidget& widget) { widget.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    count += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};

TEST_F(WindowTest, FeedbackSendsItsFrameBeforeTheButtonRedraws) {
  QCoreApplication::processEvents();
  Paints paints(Find<QPushButton>(window, "Command3"));
  Click(window, "Command3");
  EXPECT_EQ(link.calls, (Calls{"InBufferCount 0", "Output 80 E8 00 00 98 00 00"}));
  EXPECT_EQ(paints.count, 0) << "the button redrew itself before its frame left";
  EXPECT_TRUE(QTest::qWaitFor([&paints] { return paints.count > 0; }, 1000));
}

TEST_F(WindowTest, MessageBoxesAreOkOnlyWithoutIconTitledKorvalenWithTheReasonSecond) {
  Click(window, "Command1");  // disconnect
  link.failing = {"Open"};
  const test::MessageBoxes boxes;
  Click(window, "Command1");
  ASSERT_EQ(boxes.All().size(), 1u);
  const auto& box = boxes.All()[0];
  EXPECT_EQ(box.title, "Korvalen");
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(box.text + "|" + box.reason, "Connect error!|failed");
}

// A marked field, drawn in a light and in a dark theme, shows a background of its own behind text
// that stays readable: far apart in lightness.
void ExpectMarkedAndReadable(QWidget& window, QLineEdit& field) {
  const QColor black(0x20, 0x20, 0x20);
  const QPalette dark(Qt::lightGray, Qt::darkGray, Qt::gray, Qt::black, Qt::darkGray, Qt::lightGray,
                      Qt::white, black, black);
  for (const QPalette& theme : {QApplication::palette(), dark}) {
    window.setPalette(theme);
    const QColor background =
        field.grab().toImage().pixelColor(field.width() - 6, field.height() / 2);
    EXPECT_NE(background, theme.color(QPalette::Base)) << "no mark to be seen";
    EXPECT_GE(std::abs(background.lightnessF() - theme.color(QPalette::Text).lightnessF()), 0.5);
  }
  window.setPalette(QPalette());
}

TEST_F(WindowTest, ATypedBadIdMarksTheFieldAndSendsNothingUntilAGoodOneIsUsed) {
  auto& id = Find<QLineEdit>(window, "Text1");
  auto& position = Find<QScrollBar>(window, "HScroll2");
  id.selectAll();
  QTest::keyClicks(&id, "239");
  QTest::keyClick(&position, Qt::Key_Right);
  EXPECT_TRUE(link.calls.empty());
  EXPECT_FALSE(id.toolTip().isEmpty());
  ExpectMarkedAndReadable(window, id);
  id.selectAll();
  QTest::keyClicks(&id, "7");
  QTest::keyClick(&position, Qt::Key_Right);
  EXPECT_EQ(link.calls, (Calls{"InBufferCount 0", "Output 80 07 05 F0 84 00 00"}));
  EXPECT_TRUE(id.toolTip().isEmpty());
}

// A wheel turn of `angle` eighths of a degree over the middle of `slider`; a tilt to the right is a
// negative x.
void Wheel(QScrollBar& slider, QPoint angle) {
  const QPointF middle = QRectF(slider.rect()).center();
  QWheelEvent turn(middle, slider.mapToGlobal(middle), QPoint(), angle, Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&slider, &turn);
}

// What an operator at the keyboard or the wheel means: the wheel turns only the slider with the
// focus, one small step a notch however the notch comes, and Enter clicks the focused button.
TEST_F(WindowTest, TheWheelTurnsOnlyAFocusedSliderAStepANotchAndEnterClicksAFocusedButton) {
  auto& position = Find<QScrollBar>(window, "HScroll2");
  Find<QPushButton>(window, "Command3").setFocus();
  Wheel(position, {0, 120});
  EXPECT_EQ(position.value(), 1500) << "a wheel passing over the panel moved the device";
  position.setFocus();
  // A mouse, then a touchpad, then a tilt wheel to the right and back to the left.
  for (const QPoint angle : {QPoint(0, 120), {0, 40}, {0, 40}, {0, 40}, {-120, 0}, {120, 0}}) {
    Wheel(position, angle);
  }
  const std::tuple<const char*, Qt::Key, Qt::KeyboardModifier> presses[] = {
      {"Command3", Qt::Key_Return, Qt::NoModifier},
      {"Command4", Qt::Key_Enter, Qt::KeypadModifier},
      {"Command1", Qt::Key_Return, Qt::NoModifier}};
  for (const auto& [name, key, modifier] : presses) {
    Find<QPushButton>(window, name).setFocus();
    QTest::keyClick(&Find<QPushButton>(window, name), key, modifier);
  }
  EXPECT_EQ(link.calls,
            (Calls{"InBufferCount 0", "Output 80 00 05 E6 95 00 00", "InBufferCount 0",
                   "Output 80 00 05 F0 8B 00 00", "InBufferCount 0", "Output 80 00 05 FA 81 00 00",
                   "InBufferCount 0", "Output 80 00 05 F0 8B 00 00", "InBufferCount 0",
                   "Output 80 E8 00 00 98 00 00", "InBufferCount 0", "Output 80 EB 00 00 95 00 00",
                   "Close"}));
  EXPECT_EQ(window.Caption(Control::Command1) + "|" + window.Caption(Control::Command4),
            "Connect|GO");
}

// The controls that take the keyboard focus.
std::vector<QWidget*> Focusable(const QWidget& window) {
  std::vector<QWidget*> controls;
  for (QWidget* const child : window.findChildren<QWidget*>()) {
    if ((child->focusPolicy() & Qt::TabFocus) != 0) controls.push_back(child);
  }
  return controls;
}

// In each style Qt has here (Fusion, which is the platform's on Linux, and Windows), the pixels
// around a control change when the focus comes to it.
TEST_F(WindowTest, EveryControlShowsTheFocusInEveryStyle) {
  const QString style = QApplication::style()->name();
  for (const QString& name : QStyleFactory::keys()) {
    QApplication::setStyle(name);
    const std::vector<QWidget*> controls = Focusable(window);
    std::vector<QImage> shots;
    for (QWidget* const control : controls) {
      control->setFocus();
      shots.push_back(window.grab().toImage());
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const QRect around = controls[i]->geometry().adjusted(-3, -3, 3, 3);
      EXPECT_NE(shots[i].copy(around), shots[(i + 1) % shots.size()].copy(around))
          << name.toStdString() << ": " << controls[i]->objectName().toStdString();
    }
  }
  QApplication::setStyle(style);
}

// Esc clicks Stop from whichever control has the focus, exactly as a click would; while the button
// says GO, Esc does nothing: no key starts the device.
TEST_F(WindowTest, EscAnywhereClicksStopButNeverGo) {
  for (QWidget* const control : Focusable(window)) {
    SCOPED_TRACE(control->objectName().toStdString());
    Click(window, "Command3");
    link.calls.clear();
    control->setFocus();
    QTest::keyClick(control, Qt::Key_Escape);
    QTest::keyClick(control, Qt::Key_Escape);
    EXPECT_EQ(link.calls, (Calls{"InBufferCount 0", "Output 80 EB 00 00 95 00 00"}));
    EXPECT_EQ(window.Caption(Control::Command4), "GO");
    EXPECT_EQ(window.State().FeedbackMode(), 0);
    Click(window, "Command4");
  }
  EXPECT_TRUE(Find<QPushButton>(window, "Command4").toolTip().contains("Esc"));
}

TEST_F(WindowTest, AFeedbackRequestUnansweredForASecondMarksBothReadingsUntilAReplyShows) {
  auto& current = Find<QLineEdit>(window, "Text3");
  Click(window, "Command3");
  ASSERT_TRUE(QTest::qWaitFor([&current] { return !current.toolTip().isEmpty(); }, 5000));
  EXPECT_TRUE(current.toolTip().startsWith("no reply to the feedback request of "));
  EXPECT_EQ(Find<QLineEdit>(window, "Text4").toolTip(), current.toolTip());
  ExpectMarkedAndReadable(window, current);
  link.Receive({0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C});
  EXPECT_TRUE(current.toolTip().startsWith("this value came at "));
  EXPECT_EQ(current.grab().toImage().pixelColor(current.width() - 6, current.height() / 2),
            window.palette().color(QPalette::Base));
}

// Screen readers name each slider and field by its label, and hear from the connect button whether
// the panel is connected; its tooltip says the same, with the port held.
TEST_F(WindowTest, ScreenReadersHearEachControlByItsLabelAndWhetherThePanelIsConnected) {
  const std::pair<const char*, const char*> names[] = {
      {"HScroll1", "ID"},    {"Text1", "ID"},       {"HScroll2", "Position"},
      {"Text2", "Position"}, {"HScroll3", "Speed"}, {"Text5", "Speed"},
      {"Text3", "Current"},  {"Text4", "Voltage"},  {"Text6", "Comm Port"}};
  const auto said = [this](const char* control, QAccessible::Text text) {
    return QAccessible::queryAccessibleInterface(&Find<QWidget>(window, control))
        ->text(text)
        .toStdString();
  };
  for (const auto& [control, name] : names) EXPECT_EQ(said(control, QAccessible::Name), name);
  const std::string held = said("Command1", QAccessible::Description);
  EXPECT_TRUE(held.starts_with("connected since ") && held.ends_with(" to port 1: /dev/ttyUSB0"))
      << held;
  EXPECT_EQ(Find<QPushButton>(window, "Command1").toolTip().toStdString(), held);
  Click(window, "Command1");
  EXPECT_EQ(said("Command1", QAccessible::Description), "not connected");
}

TEST_F(WindowTest, ThePortTooltipIsAskedForAfreshEachTimeItShows) {
  auto& port = Find<QLineEdit>(window, "Text6");
  for (const char* listing : {"1  /dev/ttyS0", "1  /dev/ttyS0\n7  /dev/ttyUSB0"}) {
    description = listing;
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), port.mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(&port, &help);
    EXPECT_EQ(QToolTip::text(), QString::fromLatin1(listing));
  }
}

TEST_F(WindowTest, ClosingTheWindowSendsNothingButReleasesThePort) {
  window.close();
  EXPECT_EQ(link.calls, Calls{"Close"});
}

}  // namespace
}  // namespace korvalen::testing
