#include <unistd.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <deque>

#include "bench/benchmarks.h"
#include "bench/panel_rig.h"
#include "bench/process.h"

namespace korvalen::bench {
namespace {

using namespace std::chrono_literals;

// Memory is read first after this many frames, so the caches the toolkit fills on first use are
// not taken for growth.
constexpr std::uint64_t kWarmUpFrames = 2000;
// Below this the growth is the allocator's noise; a leak of 16 bytes a frame crosses it within
// the 100 000 frames of script/soak.
constexpr double kGrowthKiB = 1024;
// End-to-end passes of one thumb before it is let go; each release commits once more.
constexpr int kSweepsPerDrag = 4;
// A thumb that stops following the mouse for this many pixels has lost its grip.
constexpr int kMaxStillMoves = 400;

// Answers every message box with OK the moment it shows, which would otherwise hold the soak in
// its own event loop, and keeps what the first one said.
class BoxAnswer : public QObject {
 public:
  BoxAnswer() { QCoreApplication::instance()->installEventFilter(this); }
  ~BoxAnswer() override { QCoreApplication::instance()->removeEventFilter(this); }
  BoxAnswer(const BoxAnswer&) = delete;
  BoxAnswer& operator=(const BoxAnswer&) = delete;

  std::string said;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* const box = qobject_cast<QMessageBox*>(watched);
    if (box != nullptr && event->type() == QEvent::Show) {
      if (said.empty()) said = (box->text() + " (" + box->informativeText() + ")").toStdString();
      QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
    }
    return false;
  }
};

// Where the thumb is drawn, as the bar's own style places it, so the drag starts where an
// operator's would.
QPoint Thumb(const QScrollBar& bar) {
  QStyleOptionSlider thumb;
  thumb.initFrom(&bar);
  thumb.orientation = Qt::Horizontal;
  thumb.state |= QStyle::State_Horizontal;
  thumb.minimum = bar.minimum();
  thumb.maximum = bar.maximum();
  thumb.sliderPosition = thumb.sliderValue = bar.value();
  thumb.pageStep = bar.pageStep();
  return bar.style()
      ->subControlRect(QStyle::CC_ScrollBar, &thumb, QStyle::SC_ScrollBarSlider, &bar)
      .center();
}

class SliderSoak {
 public:
  explicit SliderSoak(const SoakLimits& limits)
      : limits_(limits),
        warm_up_(limits.frames ? std::min(kWarmUpFrames, *limits.frames / 2) : kWarmUpFrames) {}

  std::vector<Row> Run() {
    const auto start = Clock::now();
    auto& position = Find<QScrollBar>(rig_.Window(), "HScroll2");
    auto& speed = Find<QScrollBar>(rig_.Window(), "HScroll3");
    for (bool on_position = true; Wanted(1, start); on_position = !on_position) {
      NextId();
      Drag(on_position ? position : speed, on_position ? &PositionFrame : &SpeedFrame, start);
    }
    CatchUp();
    QTest::qWait(200);  // for any frame the panel should not have sent
    Check(sim::ReadAvailable(rig_.Pty().Master()));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rss_at_end = static_cast<double>(StatusKiB(::getpid(), "VmRSS").value_or(0));

    if (!boxes_.said.empty()) Fail("the panel said " + boxes_.said);
    if (sent_ == 0) Fail("no frame was sent");
    const std::uint64_t wrong = wrong_ + owed_.size() + (filled_ != 0 ? 1 : 0);
    if (first_wrong_.empty() && wrong != 0) first_wrong_ = Cat(owed_.size(), " never came");

    const std::string how =
        Cat(sent_, " frames in ", seconds, " s, mouse drags of HScroll2 and ",
            "HScroll3, a new ID before each", wrong ? "; first wrong: " : "", first_wrong_);
    const auto sent = static_cast<double>(std::max<std::uint64_t>(sent_, 1));
    Row lost("Soak: frames missing, out of order or altered", "", static_cast<double>(wrong), {},
             Row::Measure::kFigure, 0, how);
    Row growth("Soak: resident memory growth after the warm-up", "KiB",
               rss_at_end - rss_after_warm_up_.value_or(0), {}, Row::Measure::kFigure, kGrowthKiB,
               Cat("VmRSS after ", warm_up_, " frames and at the end"));
    const Row per_frame("Soak: time per frame, mouse events included", "us", seconds * 1e6 / sent,
                        {}, Row::Measure::kFigure, {}, how);
    lost.error = failure_;
    if (!rss_after_warm_up_) growth.error = "the run ended before the warm-up did";
    return {lost, growth, per_frame};
  }

 private:
  // A new ID for every drag, so byte 1 or 2 of the frames changes too; the ID slider sends
  // nothing, and a frame from it would show as one owed to nobody.
  void NextId() {
    auto& id = Find<QScrollBar>(rig_.Window(), "HScroll1");
    id.setFocus();
    QTest::keyClick(&id, id.value() == id.maximum() ? Qt::Key_Home : Qt::Key_Right);
    id_ = id.value();
  }

  void Drag(QScrollBar& bar, CommandFrame (*frame_for)(int id, int value),
            Clock::time_point start) {
    QPoint at = Thumb(bar);
    QTest::mousePress(&bar, Qt::LeftButton, {}, at);
    if (!bar.isSliderDown()) Fail("the thumb of " + bar.objectName().toStdString() + " not held");
    int value = bar.value();
    int step = value - bar.minimum() > bar.maximum() - value ? -1 : 1;
    int still = 0;
    // Two in reserve: the frame this move may cause and the one the release will.
    for (int sweeps = 0; sweeps < kSweepsPerDrag && Wanted(2, start);) {
      at.rx() += step;
      QTest::mouseMove(&bar, at);
      if (bar.value() != value) {
        value = bar.value();
        still = 0;
        Owe(frame_for(id_, value));
      } else if (++still > kMaxStillMoves) {
        Fail("the thumb of " + bar.objectName().toStdString() + " stopped following the mouse");
      }
      if (value == (step < 0 ? bar.minimum() : bar.maximum())) {
        step = -step;
        ++sweeps;
      }
    }
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, at);
    Owe(frame_for(id_, bar.value()));
  }

  // Called right after the event that sent the frame.
  void Owe(const CommandFrame& frame) {
    owed_.push_back(frame);
    ++sent_;
    // A turn of the event loop between two moves, as a drag by hand leaves it; the line is read
    // as it goes, so it never backs up.
    QCoreApplication::processEvents();
    Check(sim::ReadAvailable(rig_.Pty().Master()));
    if (!rss_after_warm_up_ && sent_ >= warm_up_) {
      CatchUp();
      rss_after_warm_up_ = static_cast<double>(StatusKiB(::getpid(), "VmRSS").value_or(0));
    }
  }

  // Held against the frames owed, oldest first; only frames still on their way are kept, so a
  // soak of any length holds a handful, and a lost frame shows as the first wrong one.
  void Check(const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t byte : bytes) {
      partial_[filled_++] = byte;
      if (filled_ < kFrameSize) continue;
      filled_ = 0;
      const std::string came = ToHex(partial_);
      if (owed_.empty() || partial_ != owed_.front()) {
        if (wrong_++ == 0) {
          first_wrong_ = owed_.empty() ? came + " owed to nobody"
                                       : "expected " + ToHex(owed_.front()) + ", got " + came;
        }
      }
      if (!owed_.empty()) owed_.pop_front();
    }
  }

  // Waits for every frame still owed; those that have not come after 20 s count as lost.
  void CatchUp() {
    (void)QTest::qWaitFor(
        [this] {
          Check(sim::ReadAvailable(rig_.Pty().Master()));
          return owed_.empty();
        },
        20'000);
  }

  [[nodiscard]] bool Wanted(std::uint64_t reserve, Clock::time_point start) const {
    if (!failure_.empty() || !boxes_.said.empty()) return false;
    if (limits_.frames && sent_ + reserve > *limits_.frames) return false;
    return !limits_.duration || Clock::now() - start < *limits_.duration;
  }

  void Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
  }

  const SoakLimits limits_;
  const std::uint64_t warm_up_;
  BoxAnswer boxes_;  // made before the window, so a box even while it connects is answered
  PanelRig rig_;
  int id_ = 0;
  std::deque<CommandFrame> owed_;
  CommandFrame partial_{};
  std::size_t filled_ = 0;
  std::uint64_t sent_ = 0;
  std::uint64_t wrong_ = 0;
  std::string first_wrong_;
  std::optional<double> rss_after_warm_up_;
  std::string failure_;
};

}  // namespace

std::vector<Row> SoakRows(const SoakLimits& limits) {
  return SliderSoak(limits).Run();
}

}  // namespace korvalen::bench
