#include "panel/frm_korvalen.h"
#include "tests/panel/scroll_bar_part.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <functional>
#include <memory>

#include "recording_link.h"

namespace korvalen::testing {
namespace {

using Calls = std::vector<std::string>;

struct BoxSeen {
  bool seen = false;
  QString title, text, informative;
  QMessageBox::Icon icon = QMessageBox::Information;
  QMessageBox::StandardButtons buttons;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<frm_Korvalen>(link, [this] {
      ++descriptions;
      return description;
    });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  template <typename T>
  [[nodiscard]] T* Child(const char* name) const {
    T* const child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  void Click(const char* button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }

  void Connect() {
    Click("Command1");
    ASSERT_TRUE(link.PortOpen());
    link.ClearCalls();
  }

  // Reads and dismisses the next modal box, from inside the box's own event loop.
  void DismissNextBox(BoxSeen& seen, std::function<void()> while_open = {}) {
    QTimer::singleShot(0, window.get(), [&seen, while_open] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      seen = {true,        box->windowTitle(),    box->text(), box->informativeText(),
              box->icon(), box->standardButtons()};
      if (while_open) while_open();
      box->button(QMessageBox::Ok)->click();
    });
  }

  [[nodiscard]] static QRect SubControl(QScrollBar* bar, QStyle::SubControl part) {
    return test::ScrollBarPart(bar, part);
  }

  [[nodiscard]] std::vector<std::string> Outputs() const {
    std::vector<std::string> outputs;
    for (const std::string& call : link.Calls()) {
      if (call.starts_with("Output")) outputs.push_back(call);
    }
    return outputs;
  }

  RecordingLink link;
  std::string description = "1  /dev/ttyS0";
  int descriptions = 0;
  std::unique_ptr<frm_Korvalen> window;
};

TEST_F(WindowTest, WindowHasTheTitleAndTheFixedClientArea) {
  EXPECT_EQ(window->windowTitle(), "Korvalen");
  EXPECT_EQ(window->size(), QSize(262, 238));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(WindowTest, EveryControlStartsAtItsPlaceWithItsContent) {
  struct Case {
    const char* name;
    const char* kind;
    QRect pixels;
    const char* text;
  };
  const Case cases[] = {
      {"Command1", "QPushButton", {28, 176, 89, 29}, "Connect"},
      {"Command2", "QPushButton", {136, 176, 89, 29}, "Exit"},
      {"Command3", "QPushButton", {8, 64, 113, 25}, "Feedback"},
      {"Command4", "QPushButton", {8, 96, 113, 25}, "Stop"},
      {"Text1", "QLineEdit", {204, 8, 45, 18}, "0"},
      {"Text2", "QLineEdit", {200, 64, 49, 18}, "1500"},
      {"Text3", "QLineEdit", {64, 12, 53, 17}, "0"},
      {"Text4", "QLineEdit", {64, 36, 53, 17}, "0"},
      {"Text5", "QLineEdit", {200, 120, 49, 17}, "100"},
      {"Text6", "QLineEdit", {92, 132, 37, 21}, "1"},
      {"HScroll1", "QScrollBar", {140, 32, 109, 21}, nullptr},
      {"HScroll2", "QScrollBar", {140, 88, 109, 21}, nullptr},
      {"HScroll3", "QScrollBar", {140, 144, 109, 21}, nullptr},
      {"Label1", "QLabel", {148, 12, 33, 13}, "ID:"},
      {"Label2", "QLabel", {144, 68, 49, 13}, "Position:"},
      {"Label3", "QLabel", {8, 16, 49, 17}, "Current:"},
      {"Label4", "QLabel", {8, 40, 53, 17}, "Voltage:"},
      {"Label5", "QLabel", {12, 136, 93, 17}, "Comm Port:"},
      {"Label6", "QLabel", {144, 124, 53, 13}, "Speed:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* const widget = Child<QWidget>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(c.kind)) << widget->metaObject()->className();
    EXPECT_EQ(widget->geometry(), c.pixels);
    EXPECT_TRUE(widget->isVisible());
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), c.text);
    }
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
      EXPECT_EQ(field->text(), c.text);
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), c.text);
    }
  }
}

TEST_F(WindowTest, SlidersHaveTheirRangesStepsAndStartingValues) {
  struct Case {
    const char* name;
    int minimum, maximum, small_step, large_step, value;
  };
  const Case cases[] = {
      {"HScroll1", 0, 127, 1, 1, 0},
      {"HScroll2", 600, 2400, 10, 50, 1500},
      {"HScroll3", 1, 100, 1, 1, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* const bar = Child<QScrollBar>(c.name);
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->minimum(), c.minimum);
    EXPECT_EQ(bar->maximum(), c.maximum);
    EXPECT_EQ(bar->singleStep(), c.small_step);
    EXPECT_EQ(bar->pageStep(), c.large_step);
    EXPECT_EQ(bar->value(), c.value);
  }
}

TEST_F(WindowTest, ReadingsAndMirrorsAreReadOnlyAndEachLabelNamesItsField) {
  const struct {
    const char* label;
    const char* field;
    bool read_only;
  } pairs[] = {
      {"Label1", "Text1", false}, {"Label2", "Text2", true},  {"Label3", "Text3", true},
      {"Label4", "Text4", true},  {"Label5", "Text6", false}, {"Label6", "Text5", true},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.field);
    auto* const label = Child<QLabel>(pair.label);
    auto* const field = Child<QLineEdit>(pair.field);
    EXPECT_EQ(field->isReadOnly(), pair.read_only);
    EXPECT_EQ(label->buddy(), field);
    EXPECT_EQ(field->accessibleName(), label->text());
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
  }
}

TEST_F(WindowTest, TabVisitsTheControlsInTheDesignedOrder) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  Child<QPushButton>("Command1")->setFocus();
  const Calls expected = {"Command2", "Text1", "HScroll1", "HScroll2", "Command3",
                          "Text3",    "Text4", "Text2",    "Text5",    "HScroll3",
                          "Command4", "Text6", "Command1"};
  Calls visited;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, OneArrowClickOnTheIdSliderShowsOneAndSendsNothing) {
  Connect();
  auto* const bar = Child<QScrollBar>("HScroll1");
  QTest::mouseClick(bar, Qt::LeftButton, {}, SubControl(bar, QStyle::SC_ScrollBarAddLine).center());
  EXPECT_EQ(bar->value(), 1);
  EXPECT_EQ(window->Text(Control::Text1), "1");
  EXPECT_TRUE(link.Calls().empty());
}

TEST_F(WindowTest, DraggingThePositionThumbSendsAFramePerValueAndOneOnRelease) {
  Connect();
  auto* const bar = Child<QScrollBar>("HScroll2");
  QSignalSpy changes(bar, &QScrollBar::valueChanged);
  const QPoint start = SubControl(bar, QStyle::SC_ScrollBarSlider).center();
  QTest::mousePress(bar, Qt::LeftButton, {}, start);
  for (int dx = 3; dx <= 15; dx += 3) QTest::mouseMove(bar, start + QPoint(dx, 0));
  QTest::mouseRelease(bar, Qt::LeftButton, {}, start + QPoint(15, 0));

  ASSERT_GE(changes.count(), 2);
  const std::vector<std::string> frames = Outputs();
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(changes.count()) + 1);
  EXPECT_EQ(frames[frames.size() - 1], frames[frames.size() - 2]) << "release resends the value";
  const int last = bar->value();
  char expected[40];
  std::snprintf(expected, sizeof expected, "Output 80 00 %02X %02X %02X 00 00", last / 256,
                last % 256, (256 - (0x80 + last / 256 + last % 256) % 256) % 256);
  EXPECT_EQ(frames.back(), expected);
  EXPECT_EQ(window->Text(Control::Text2), std::to_string(last));
}

TEST_F(WindowTest, ReleasingTheThumbWhereItStartedStillCommits) {
  Connect();
  auto* const bar = Child<QScrollBar>("HScroll3");
  const QPoint thumb = SubControl(bar, QStyle::SC_ScrollBarSlider).center();
  QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb);
  EXPECT_EQ(Outputs(), Calls{"Output 80 E9 00 64 33 00 00"});
}

TEST_F(WindowTest, KeysAndTrackClicksCommitASliderValue) {
  Connect();
  auto* const bar = Child<QScrollBar>("HScroll2");
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_Left);
  EXPECT_EQ(bar->value(), 1490);
  QTest::mouseClick(bar, Qt::LeftButton, {}, SubControl(bar, QStyle::SC_ScrollBarAddPage).center());
  EXPECT_EQ(bar->value(), 1540);
  EXPECT_EQ(Outputs(), (Calls{"Output 80 00 05 D2 A9 00 00", "Output 80 00 06 04 76 00 00"}));

  const QPoint inside = bar->rect().center();
  QWheelEvent wheel(inside, bar->mapToGlobal(inside), {}, {0, 120}, Qt::NoButton, {},
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(bar, &wheel);
  EXPECT_GT(bar->value(), 1540) << "wheel up raises the set-point";
  EXPECT_EQ(Outputs().size(), 3u);
  EXPECT_EQ(window->Text(Control::Text2), std::to_string(bar->value()));
}

TEST_F(WindowTest, StopAndGoToggleAndSendRunStop) {
  Connect();
  Click("Command4");
  EXPECT_EQ(window->Caption(Control::Command4), "GO");
  Click("Command4");
  EXPECT_EQ(window->Caption(Control::Command4), "Stop");
  EXPECT_EQ(Outputs(), (Calls{"Output 80 EB 00 00 95 00 00", "Output 80 EB 00 01 94 00 00"}));
}

// Counts a widget's paint events and notes how many frames had gone out at the first of them.
class PaintWatch : public QObject {
 public:
  PaintWatch(QWidget& widget, std::function<std::size_t()> frames_sent)
      : widget_(widget), frames_sent_(std::move(frames_sent)) {
    widget_.installEventFilter(this);
  }
  ~PaintWatch() override { widget_.removeEventFilter(this); }
  PaintWatch(const PaintWatch&) = delete;
  PaintWatch& operator=(const PaintWatch&) = delete;

  int paints = 0;
  std::size_t frames_at_first_paint = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &widget_ && event->type() == QEvent::Paint && paints++ == 0) {
      frames_at_first_paint = frames_sent_();
    }
    return false;
  }

 private:
  QWidget& widget_;
  std::function<std::size_t()> frames_sent_;
};

TEST_F(WindowTest, FeedbackAndStopGoSendTheirFrameBeforeTheButtonRedraws) {
  Connect();
  for (const char* name : {"Command3", "Command4"}) {
    for (const bool by_key : {false, true}) {
      SCOPED_TRACE(std::string(name) + (by_key ? " by Space" : " by mouse"));
      auto* const button = Child<QPushButton>(name);
      button->setFocus();
      QCoreApplication::processEvents();
      const std::size_t before = Outputs().size();
      const PaintWatch watch(*button, [this] { return Outputs().size(); });

      if (by_key) {
        QTest::keyClick(button, Qt::Key_Space);
      } else {
        QTest::mouseClick(button, Qt::LeftButton);
      }
      EXPECT_EQ(Outputs().size(), before + 1);
      EXPECT_EQ(watch.paints, 0) << "the button redrew itself before its frame left";
      EXPECT_FALSE(button->isDown());

      for (int turn = 0; turn < 200 && watch.paints == 0; ++turn) QTest::qWait(5);
      EXPECT_GT(watch.paints, 0) << "the held redraw never came";
      EXPECT_EQ(watch.frames_at_first_paint, before + 1);
    }
  }
  EXPECT_EQ(window->Caption(Control::Command4), "Stop") << "two clicks: GO, then Stop again";
}

TEST_F(WindowTest, MessageBoxesAreOkOnlyWithoutIconAndCarryTheReasonAsSecondLine) {
  BoxSeen numeric;
  Child<QLineEdit>("Text6")->clear();
  QTest::keyClicks(Child<QLineEdit>("Text6"), "abc");
  DismissNextBox(numeric);
  Click("Command1");
  ASSERT_TRUE(numeric.seen);
  EXPECT_EQ(numeric.title, "Korvalen");
  EXPECT_EQ(numeric.text, "CommPort Numeric");
  EXPECT_TRUE(numeric.informative.isEmpty());
  EXPECT_EQ(numeric.icon, QMessageBox::NoIcon);
  EXPECT_EQ(numeric.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

  BoxSeen failed;
  Child<QLineEdit>("Text6")->setText("2");
  link.FailOn("Open", "no such port: /dev/ttyS2");
  DismissNextBox(failed);
  Click("Command1");
  ASSERT_TRUE(failed.seen);
  EXPECT_EQ(failed.text, "Connect error!");
  EXPECT_EQ(failed.informative, "no such port: /dev/ttyS2");
  EXPECT_EQ(window->Caption(Control::Command1), "Connect");
}

TEST_F(WindowTest, RepliesAreShownWhileTheMessageBoxIsOpen) {
  Connect();
  Click("Command3");
  Child<QLineEdit>("Text6")->setText("300");
  BoxSeen box;
  DismissNextBox(box, [this] { link.Receive({0x80, 0, 0, 0, 0x80, 0x2A, 0x0C}); });
  Click("Command1");
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(window->Text(Control::Text3), " 42");
  EXPECT_EQ(window->Text(Control::Text4), " 12");
}

TEST_F(WindowTest, ATypedBadIdMarksTheFieldUntilAGoodOneIsUsed) {
  Connect();
  auto* const id = Child<QLineEdit>("Text1");
  auto* const bar = Child<QScrollBar>("HScroll2");
  id->selectAll();
  QTest::keyClicks(id, "239");
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_Right);
  EXPECT_TRUE(Outputs().empty());
  EXPECT_FALSE(id->toolTip().isEmpty());
  id->selectAll();
  QTest::keyClicks(id, "7");
  QTest::keyClick(bar, Qt::Key_Right);
  EXPECT_EQ(Outputs(), Calls{"Output 80 07 05 F0 84 00 00"});
  EXPECT_TRUE(id->toolTip().isEmpty());
}

TEST_F(WindowTest, PortTooltipIsAskedForEachTimeItShows) {
  auto* const port = Child<QLineEdit>("Text6");
  for (const char* listing : {"1  /dev/ttyS0", "1  /dev/ttyS0\n7  /dev/ttyUSB0"}) {
    description = listing;
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), port->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(port, &help);
    EXPECT_EQ(QToolTip::text(), QString::fromLatin1(listing));
  }
  EXPECT_EQ(descriptions, 2);
}

TEST_F(WindowTest, ClosingTheWindowSendsNothingAndReleasesThePort) {
  Connect();
  window->close();
  EXPECT_EQ(link.Calls(), Calls{"PortOpen false"});
  EXPECT_FALSE(link.PortOpen());
}

TEST_F(WindowTest, ExitSendsShutdownClosesTheWindowAndNothingRunsAfter) {
  Connect();
  Click("Command2");
  EXPECT_EQ(link.Calls(),
            (Calls{"InBufferCount 0", "Output 80 EF 00 00 91 00 00", "PortOpen false"}));
  EXPECT_FALSE(window->isVisible());
  link.ClearCalls();
  link.SetOpenWithoutRecord(true);
  Child<QScrollBar>("HScroll2")->setValue(2000);
  EXPECT_EQ(window->Text(Control::Text2), "1500");
  EXPECT_TRUE(link.Calls().empty());
}

}  // namespace
}  // namespace korvalen::testing
