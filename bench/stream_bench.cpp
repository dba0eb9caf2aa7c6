#include "bench/stream_bench.h"

#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "bench/panel_rig.h"
#include "bench/proc_stats.h"
#include "bench/stats.h"
#include "bench/text.h"
#include "protocol/frame.h"
#include "sim/pseudo_terminal.h"
#include "tests/panel/scroll_bar_part.h"
#include "tests/support/controls.h"

namespace korvalen::bench {
namespace {

using namespace std::chrono_literals;

constexpr int kWarmUpEvents = 1000;
// Growth beyond this over the run is memory kept per frame: a leak of even 32 bytes a frame
// crosses it well before 10 000 frames.
constexpr double kFlatKiB = 256;

// The soak reads memory first after this many frames, so the caches the toolkit fills on first
// use are not taken for growth.
constexpr std::uint64_t kSoakWarmUpFrames = 2000;
// Below this the growth is the allocator's noise; a leak of 16 bytes a frame crosses it within
// the 100 000 frames of script/soak.
constexpr std::int64_t kSoakGrowthKiB = 1024;
// End-to-end passes of one thumb before it is let go; each release commits once more.
constexpr int kSweepsPerDrag = 4;
// A soak that cannot move a frame in this long is stuck, not slow.
constexpr auto kStallLimit = 20s;
// A thumb that stops following the mouse for this many pixels has lost its grip.
constexpr int kMaxStillMoves = 400;

// Takes everything the master can read, on a thread of its own, so the line never backs up
// while the panel streams, whatever the panel's thread is doing.
class Collector {
 public:
  explicit Collector(int master) : master_(master), thread_([this] { Run(); }) {}
  ~Collector() {
    stop_ = true;
    thread_.join();
  }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  // Waits, running the panel's event loop, until `count` bytes came or `limit` passed; returns
  // and forgets everything collected.
  std::vector<std::uint8_t> Take(std::size_t count, std::chrono::milliseconds limit) {
    (void)QTest::qWaitFor([&] { return Size() >= count; }, static_cast<int>(limit.count()));
    const std::lock_guard lock(mutex_);
    return std::exchange(bytes_, {});
  }

 private:
  std::size_t Size() {
    const std::lock_guard lock(mutex_);
    return bytes_.size();
  }

  void Run() {
    while (!stop_) {
      const std::vector<std::uint8_t> first = sim::ReadUpTo(master_, 1, 20ms);
      if (first.empty()) continue;
      const std::vector<std::uint8_t> rest = sim::ReadAvailable(master_);
      const std::lock_guard lock(mutex_);
      bytes_.insert(bytes_.end(), first.begin(), first.end());
      bytes_.insert(bytes_.end(), rest.begin(), rest.end());
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::uint8_t> bytes_;
  std::thread thread_;
};

// The frames the panel owes the device, oldest first, checked against the bytes that came. Only
// frames still on their way are kept, so a soak of any length holds a handful; a lost frame
// shows as the first wrong one.
class FrameCheck {
 public:
  void Owe(const CommandFrame& frame) {
    owed_.push_back(frame);
    ++sent_;
  }

  void Take(const std::vector<std::uint8_t>& bytes) {
    received_ += bytes.size();
    for (const std::uint8_t byte : bytes) {
      partial_[filled_++] = byte;
      if (filled_ < kFrameSize) continue;
      filled_ = 0;
      ++frames_;
      if (owed_.empty()) {
        Note(Cat("frame ", frames_, " was owed to nobody: ", ToHex(partial_)));
        continue;
      }
      if (partial_ != owed_.front()) {
        Note(
            Cat("frame ", frames_, ": expected ", ToHex(owed_.front()), ", got ", ToHex(partial_)));
      }
      owed_.pop_front();
    }
  }

  [[nodiscard]] std::uint64_t Sent() const { return sent_; }
  [[nodiscard]] std::uint64_t ReceivedBytes() const { return received_; }
  [[nodiscard]] std::size_t OwedBytes() const {
    return owed_.empty() ? 0 : owed_.size() * kFrameSize - filled_;
  }
  // Frames that came altered, out of their place or owed to nobody, those that never came, and a
  // stray frame cut short.
  [[nodiscard]] std::uint64_t Wrong() const {
    return wrong_ + owed_.size() + (owed_.empty() && filled_ != 0 ? 1 : 0);
  }
  [[nodiscard]] std::string FirstWrong() const {
    if (!first_wrong_.empty()) return first_wrong_;
    if (!owed_.empty()) return Cat(owed_.size(), " frames never came");
    if (filled_ != 0) return Cat(filled_, " stray bytes");
    return {};
  }

 private:
  void Note(std::string what) {
    if (wrong_++ == 0) first_wrong_ = std::move(what);
  }

  std::deque<CommandFrame> owed_;
  CommandFrame partial_{};
  std::size_t filled_ = 0;
  std::uint64_t sent_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t frames_ = 0;
  std::uint64_t wrong_ = 0;
  std::string first_wrong_;
};

// Waits up to `limit` for every frame still owed, then `linger` more for any the panel should
// not have sent, and checks all that came.
void CatchUp(FrameCheck& check, Collector& collector, std::chrono::milliseconds limit,
             std::chrono::milliseconds linger) {
  check.Take(collector.Take(check.OwedBytes(), limit));
  if (linger == 0ms) return;
  QTest::qWait(static_cast<int>(linger.count()));
  check.Take(collector.Take(0, 0ms));
}

// Positions a drag runs through: up and down the slider's range, each one apart from the last.
std::vector<int> DragPath(int count, int minimum, int maximum, int start) {
  std::vector<int> path;
  int value = start;
  int step = 1;
  while (static_cast<int>(path.size()) < count) {
    if (value + step > maximum || value + step < minimum) step = -step;
    value += step;
    path.push_back(value);
  }
  return path;
}

class SliderSoak {
 public:
  explicit SliderSoak(const SoakLimits& limits)
      : limits_(limits),
        warm_up_(limits.frames ? std::min(kSoakWarmUpFrames, *limits.frames / 2)
                               : kSoakWarmUpFrames),
        collector_(rig_.Pty().Master()) {}

  SoakVerdict Run() {
    start_ = Clock::now();
    auto& position = test::Find<QScrollBar>(rig_.Window(), "HScroll2");
    auto& speed = test::Find<QScrollBar>(rig_.Window(), "HScroll3");
    for (bool on_position = true; Wanted(1); on_position = !on_position) {
      NextId();
      Drag(on_position ? position : speed, on_position ? &PositionFrame : &SpeedFrame);
      // Checked as it goes, so no more than a drag's bytes wait in the collector.
      check_.Take(collector_.Take(0, 0ms));
    }
    CatchUp(200ms);
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const std::optional<std::int64_t> rss_at_end = StatusKiB(::getpid(), "VmRSS");

    std::vector<std::string> faults;
    if (!failure_.empty()) faults.push_back(failure_);
    if (!boxes_.All().empty()) {
      faults.push_back("the panel said \"" + boxes_.All().front().text.toStdString() + "\" (" +
                       boxes_.All().front().reason.toStdString() + ")");
    }
    if (check_.Sent() == 0) faults.emplace_back("no frame was sent");
    if (check_.Wrong() != 0) {
      faults.push_back(
          Cat(check_.Wrong(), " frames wrong or missing, first ", check_.FirstWrong()));
    }
    if (!rss_after_warm_up_ || !rss_at_end) {
      faults.emplace_back("resident memory not measured: the run ended before the warm-up did");
    } else if (*rss_at_end - *rss_after_warm_up_ >= kSoakGrowthKiB) {
      faults.push_back(Cat("resident memory grew by ", *rss_at_end - *rss_after_warm_up_, " KiB"));
    }

    const auto kib = [](const std::optional<std::int64_t>& value) {
      return value ? Cat(*value, " KiB") : std::string("-");
    };
    SoakVerdict verdict{faults.empty(), ""};
    verdict.line =
        Cat("soak: ", verdict.passed ? "PASS" : "FAIL", ", ", check_.Sent(), " frames in ", seconds,
            " s (", static_cast<std::uint64_t>(static_cast<double>(check_.Sent()) / seconds),
            " a second), ", check_.Wrong(), " wrong or missing; resident memory ",
            kib(rss_after_warm_up_), " after a warm-up of ", warm_up_, " frames, ", kib(rss_at_end),
            " at the end (growth under ", kSoakGrowthKiB, " KiB wanted)");
    for (const std::string& fault : faults) verdict.line += "; " + fault;
    return verdict;
  }

 private:
  // A new ID for every drag, so byte 1 or 2 of the frames changes too; the ID slider sends
  // nothing, and a frame from it would show as one owed to nobody.
  void NextId() {
    auto& id = test::Find<QScrollBar>(rig_.Window(), "HScroll1");
    id.setFocus();
    QTest::keyClick(&id, id.value() == id.maximum() ? Qt::Key_Home : Qt::Key_Right);
    id_ = id.value();
  }

  void Drag(QScrollBar& bar, CommandFrame (*frame_for)(int id, int value)) {
    const std::string name = bar.objectName().toStdString();
    QPoint at = test::ScrollBarPart(&bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, at);
    if (!bar.isSliderDown()) {
      Fail("pressing the thumb of " + name + " did not take hold");
      QTest::mouseRelease(&bar, Qt::LeftButton, {}, at);
      return;
    }
    int value = bar.value();
    int step = value - bar.minimum() > bar.maximum() - value ? -1 : 1;
    int still = 0;
    // Two in reserve: the frame this move may cause and the one the release will.
    for (int sweeps = 0; sweeps < kSweepsPerDrag && Wanted(2);) {
      at.rx() += step;
      QTest::mouseMove(&bar, at);
      if (bar.value() != value) {
        value = bar.value();
        still = 0;
        Owe(frame_for(id_, value));
      } else if (++still > kMaxStillMoves) {
        Fail("the thumb of " + name + " stopped following the mouse");
        break;
      }
      if ((step < 0 && value == bar.minimum()) || (step > 0 && value == bar.maximum())) {
        step = -step;
        ++sweeps;
      }
    }
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, at);
    if (bar.value() != value) Fail("letting go of the thumb of " + name + " moved it");
    Owe(frame_for(id_, value));
  }

  // Called right after the event that sent the frame.
  void Owe(const CommandFrame& frame) {
    check_.Owe(frame);
    // A turn of the event loop between two moves, as a drag by hand leaves it.
    QCoreApplication::processEvents();
    if (!rss_after_warm_up_ && check_.Sent() >= warm_up_) {
      CatchUp(0ms);
      rss_after_warm_up_ = StatusKiB(::getpid(), "VmRSS");
    }
  }

  void CatchUp(std::chrono::milliseconds linger) {
    bench::CatchUp(check_, collector_, kStallLimit, linger);
    if (check_.OwedBytes() != 0) {
      Fail(Cat(check_.OwedBytes(), " bytes owed had not come after ",
               std::chrono::seconds(kStallLimit).count(), " s"));
    }
  }

  [[nodiscard]] bool Wanted(std::uint64_t reserve) const {
    if (!failure_.empty() || !boxes_.All().empty()) return false;
    if (limits_.frames && check_.Sent() + reserve > *limits_.frames) return false;
    return !limits_.duration || Clock::now() - start_ < *limits_.duration;
  }

  void Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
  }

  const SoakLimits limits_;
  const std::uint64_t warm_up_;
  // Made before the window, so a box even while it connects is answered and reported.
  test::MessageBoxes boxes_;
  PanelRig rig_;
  Collector collector_;
  FrameCheck check_;
  int id_ = 0;
  Clock::time_point start_;
  std::optional<std::int64_t> rss_after_warm_up_;
  std::string failure_;
};

}  // namespace

std::vector<Row> StreamingRows(int events) {
  PanelRig rig;
  auto& slider = test::Find<QScrollBar>(rig.Window(), "HScroll2");
  auto& mirror = test::Find<QLineEdit>(rig.Window(), "Text2");
  const int slave = rig.Pty().Slave();
  Collector collector(rig.Pty().Master());

  const std::vector<int> warm_path =
      DragPath(kWarmUpEvents, slider.minimum(), slider.maximum(), slider.value());
  const std::vector<int> path =
      DragPath(events, slider.minimum(), slider.maximum(), warm_path.back());

  // The floor: what the panel cannot avoid per frame, a flush of the input and one write.
  std::vector<double> floor;
  floor.reserve(path.size());
  for (const int position : path) {
    const CommandFrame frame = PositionFrame(0, position);
    const auto start = Clock::now();
    ::tcflush(slave, TCIFLUSH);
    sim::WriteAll(slave, frame);
    floor.push_back(Micros(Clock::now() - start));
  }
  FrameCheck floor_check;
  for (const int position : path) floor_check.Owe(PositionFrame(0, position));
  CatchUp(floor_check, collector, 10s, 20ms);

  // A drag moves the thumb with setSliderPosition() while the slider is down, as QScrollBar's own
  // mouse handling does; each move is one Scroll.
  slider.setSliderDown(true);
  for (const int position : warm_path) slider.setSliderPosition(position);
  Settle();
  (void)collector.Take(warm_path.size() * kFrameSize, 10s);

  const std::int64_t rss_before = StatusKiB(::getpid(), "VmRSS").value_or(0);
  std::vector<double> per_frame;
  per_frame.reserve(path.size());
  const auto run_start = Clock::now();
  for (const int position : path) {
    const auto start = Clock::now();
    slider.setSliderPosition(position);
    per_frame.push_back(Micros(Clock::now() - start));
  }
  const double run_us = Micros(Clock::now() - run_start);
  // The release commits the last position once more: Change.
  slider.setSliderDown(false);
  FrameCheck check;
  for (const int position : path) check.Owe(PositionFrame(0, position));
  check.Owe(PositionFrame(0, path.back()));
  CatchUp(check, collector, 10s, 20ms);
  Settle();
  const std::int64_t rss_after = StatusKiB(::getpid(), "VmRSS").value_or(0);
  const std::int64_t peak = StatusKiB(::getpid(), "VmHWM").value_or(0);

  if (mirror.text().toInt() != path.back()) {
    throw std::runtime_error("Text2 does not mirror the last position");
  }
  const Summary panel = Summarize(per_frame);
  const Summary bare = Summarize(floor);
  Row delivered("Streaming: frames missing, out of order or altered", "",
                static_cast<double>(check.Wrong()));
  delivered.limit = 0;
  delivered.target = Cat("0 of ", check.Sent());
  delivered.detail =
      Cat(events, " Scroll (setSliderPosition while down) and the release's Change; ",
          check.ReceivedBytes(), " bytes read for ", check.Sent() * kFrameSize,
          " sent; frames wrong in the floor's pass ", floor_check.Wrong());
  if (floor_check.Wrong() != 0) delivered.error = "the bare writes themselves lost frames";

  Row time("Streaming: panel time per frame, mean", "us", panel.mean, bare.mean);
  time.limit = 20;
  time.strict = true;
  time.target = "< 20 us";
  time.detail = Cat("median ", panel.median, " us, p99 ", panel.p99, " us, whole run ",
                    run_us / 1000, " ms; floor: tcflush() and write() of 7 bytes");

  Row memory("Streaming: resident memory growth", "KiB",
             static_cast<double>(rss_after - rss_before));
  memory.limit = kFlatKiB;
  memory.target = Cat("<= ", static_cast<int>(kFlatKiB), " KiB (flat)");
  memory.detail = Cat("VmRSS ", rss_before, " KiB before, ", rss_after, " KiB after ", events,
                      " frames; VmHWM ", peak, " KiB");

  Row high("Streaming: peak resident memory (VmHWM)", "KiB", static_cast<double>(peak));
  high.target = "for scale";
  high.detail = memory.detail;
  return {delivered, time, memory, high};
}

SoakVerdict Soak(const SoakLimits& limits) {
  try {
    return SliderSoak(limits).Run();
  } catch (const std::exception& error) {
    return {false, Cat("soak: FAIL, ", error.what())};
  }
}

}  // namespace korvalen::bench
