#include "tests/soak/slider_soak.h"
#include "tests/panel/scroll_bar_part.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <exception>
#include <functional>
#include <stdexcept>

#include "panel/frm_korvalen.h"
#include "protocol/frame.h"
#include "serial/host_serial_link.h"
#include "sim/simulated_device.h"
#include "tests/serial/pty_pair.h"
#include "tests/soak/frame_ledger.h"
#include "tests/soak/resident_memory.h"

namespace korvalen::soak {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// End-to-end passes of one thumb before it is let go; each release commits once more.
constexpr int kSweepsPerDrag = 4;
// Well inside what a pseudo-terminal buffers, so the link's own queue is never what saves a frame.
constexpr std::size_t kMaxInFlight = 64;
// A soak that cannot move a frame in this long is stuck, not slow.
constexpr auto kStallLimit = 20s;
// A thumb that stops following the mouse for this many pixels has lost its grip.
constexpr int kMaxStillMoves = 400;

QRect Thumb(QScrollBar* bar) {
  return test::ScrollBarPart(bar, QStyle::SC_ScrollBarSlider);
}

class SliderSoak {
 public:
  explicit SliderSoak(const SoakOptions& options)
      : options_(options), comm_(FixedPorts(PortTable::One(device_.SlavePath()))), window_(comm_) {
    QObject::connect(&device_, &sim::SimulatedDevice::FrameReceived, &window_,
                     [this](const QByteArray& frame) {
                       ledger_.Receive({reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                        static_cast<std::size_t>(frame.size())});
                     });
    // A message box is modal: left open, it would hold the soak for ever. What it says is the
    // reason the run failed.
    QObject::connect(&watchdog_, &QTimer::timeout, &window_, [this] {
      auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      Fail("the panel said \"" + box->text().toStdString() + "\" (" +
           box->informativeText().toStdString() + ")");
      box->done(QMessageBox::Ok);
    });
    watchdog_.start(50);
  }

  SoakReport Run() {
    start_ = Clock::now();
    if (Connect()) Stream();
    Drain();
    SoakReport report;
    report.rss_at_end = ResidentBytes();
    report.elapsed = Clock::now() - start_;
    report.sent = ledger_.Expected();
    report.received = ledger_.Received();
    report.mismatched = ledger_.Mismatched();
    report.outstanding = ledger_.Outstanding();
    report.first_mismatch = ledger_.FirstMismatch();
    report.rejected = device_.RejectedFrames();
    report.skipped = device_.SkippedBytes();
    report.rss_after_warmup = rss_after_warmup_;
    if (failure_.empty() && !comm_.PortOpen()) Fail("the link closed during the run");
    report.failure = failure_;
    window_.close();
    return report;
  }

 private:
  template <typename T>
  T* Find(const char* name) {
    T* const child = window_.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) throw std::logic_error(std::string("the window has no ") + name);
    return child;
  }

  void Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
  }

  bool Connect() {
    window_.show();
    if (!QTest::qWaitForWindowExposed(&window_)) {
      Fail("the window was never shown");
      return false;
    }
    auto* const port = Find<QLineEdit>("Text6");
    auto* const connect = Find<QPushButton>("Command1");
    port->selectAll();
    QTest::keyClicks(port, "1");
    QTest::mouseClick(connect, Qt::LeftButton);
    if (!comm_.PortOpen() || connect->text() != "NotConnect") {
      Fail("the panel did not connect to " + device_.SlavePath() + "; the button shows \"" +
           connect->text().toStdString() + "\"");
      return false;
    }
    return true;
  }

  void Stream() {
    auto* const position = Find<QScrollBar>("HScroll2");
    auto* const speed = Find<QScrollBar>("HScroll3");
    for (bool on_position = true; Wanted(1); on_position = !on_position) {
      NextId();
      if (on_position) {
        Drag(position, [this](int value) { return PositionFrame(id_, value); });
      } else {
        Drag(speed, [this](int value) { return SpeedFrame(id_, value); });
      }
    }
  }

  // A new ID for every drag, so byte 1 or 2 of the frames changes too; the ID slider sends
  // nothing, and a frame from it would show as one nobody owed.
  void NextId() {
    auto* const id = Find<QScrollBar>("HScroll1");
    id->setFocus();
    QTest::keyClick(id, id->value() == id->maximum() ? Qt::Key_Home : Qt::Key_Right);
    id_ = id->value();
  }

  void Drag(QScrollBar* bar, const std::function<CommandFrame(int)>& frame_for) {
    QPoint at = Thumb(bar).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, at);
    if (!bar->isSliderDown()) {
      Fail("pressing the thumb of " + bar->objectName().toStdString() + " did not take hold");
      QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
      return;
    }
    int value = bar->value();
    int step = value - bar->minimum() > bar->maximum() - value ? -1 : 1;
    int still = 0;
    // Two in reserve: the frame this move may cause and the one the release will.
    for (int sweeps = 0; sweeps < kSweepsPerDrag && Wanted(2);) {
      at.rx() += step;
      QTest::mouseMove(bar, at);
      if (bar->value() != value) {
        value = bar->value();
        still = 0;
        Owe(frame_for(value));
      } else if (++still > kMaxStillMoves) {
        Fail("the thumb of " + bar->objectName().toStdString() + " stopped following the mouse");
        break;
      }
      if ((step < 0 && value == bar->minimum()) || (step > 0 && value == bar->maximum())) {
        step = -step;
        ++sweeps;
      }
    }
    QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
    if (bar->value() != value) Fail("letting go of the thumb moved it");
    Owe(frame_for(value));
  }

  // Called right after the event that sent the frame, before the device can have read it.
  void Owe(const CommandFrame& frame) {
    ledger_.Expect(frame);
    // The device reads in this same event loop; without a turn of it the line would fill up.
    QCoreApplication::processEvents();
    if (ledger_.Outstanding() > kMaxInFlight) WaitFor(kMaxInFlight / 2);
    if (!rss_after_warmup_ && ledger_.Expected() >= options_.warmup) {
      WaitFor(0);
      rss_after_warmup_ = ResidentBytes();
    }
  }

  void WaitFor(std::size_t outstanding) {
    if (!test::PumpUntil([&] { return ledger_.Outstanding() <= outstanding; }, kStallLimit)) {
      Fail(std::to_string(ledger_.Outstanding()) + " frames did not arrive within " +
           std::to_string(std::chrono::seconds(kStallLimit).count()) + " s");
    }
  }

  // Everything sent has had its time to arrive, and anything that should not have come has too.
  void Drain() {
    WaitFor(0);
    test::PumpFor(200ms);
  }

  [[nodiscard]] bool Wanted(std::uint64_t reserve) const {
    if (!failure_.empty()) return false;
    if (options_.frames && ledger_.Expected() + reserve > *options_.frames) return false;
    return !options_.duration || Clock::now() - start_ < *options_.duration;
  }

  const SoakOptions options_;
  sim::SimulatedDevice device_;
  HostSerialLink comm_;
  frm_Korvalen window_;
  QTimer watchdog_;
  FrameLedger ledger_;
  int id_ = 0;
  Clock::time_point start_;
  std::optional<std::size_t> rss_after_warmup_;
  std::string failure_;
};

}  // namespace

SoakReport RunSliderSoak(const SoakOptions& options) {
  try {
    return SliderSoak(options).Run();
  } catch (const std::exception& error) {
    SoakReport report;
    report.failure = error.what();
    return report;
  }
}

}  // namespace korvalen::soak
