#include "bench/stream_bench.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/bench_pty.h"
#include "bench/panel_rig.h"
#include "bench/proc_stats.h"
#include "bench/stats.h"
#include "bench/text.h"
#include "protocol/frame.h"

namespace korvalen::bench {
namespace {

constexpr int kWarmUpEvents = 1000;
// Growth beyond this over the run is memory kept per frame: a leak of even 32 bytes a frame
// crosses it well before 10 000 frames.
constexpr double kFlatKiB = 256;

// Takes everything the master can read, on a thread of its own, so the line never backs up
// while the panel streams.
class Collector {
 public:
  explicit Collector(int master) : master_(master), thread_([this] { Run(); }) {}
  ~Collector() {
    stop_ = true;
    thread_.join();
  }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  // Waits, running the panel's event loop, until `count` bytes came or 10 s passed; returns and
  // forgets everything collected.
  std::vector<std::uint8_t> Take(std::size_t count) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Size() < count && Clock::now() < deadline) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // Anything beyond `count` would be a frame the panel should not have sent.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const std::lock_guard lock(mutex_);
    return std::exchange(bytes_, {});
  }

 private:
  std::size_t Size() {
    const std::lock_guard lock(mutex_);
    return bytes_.size();
  }

  void Run() {
    std::array<std::uint8_t, 4096> chunk{};
    while (!stop_) {
      pollfd wanted{master_, POLLIN, 0};
      if (::poll(&wanted, 1, 20) <= 0) continue;
      const ssize_t got = ::read(master_, chunk.data(), chunk.size());
      if (got <= 0) continue;
      const std::lock_guard lock(mutex_);
      bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + got);
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::uint8_t> bytes_;
  std::thread thread_;
};

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

std::vector<std::uint8_t> Frames(const std::vector<int>& positions) {
  std::vector<std::uint8_t> bytes;
  for (const int position : positions) {
    const CommandFrame frame = PositionFrame(0, position);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

// Frames of `expected` not found, in their place and byte for byte, in `got`; extra bytes count as
// one more wrong frame each seven.
std::size_t WrongFrames(const std::vector<std::uint8_t>& expected,
                        const std::vector<std::uint8_t>& got) {
  std::size_t wrong = 0;
  for (std::size_t at = 0; at < expected.size(); at += kFrameSize) {
    if (at + kFrameSize > got.size() ||
        !std::equal(expected.begin() + static_cast<std::ptrdiff_t>(at),
                    expected.begin() + static_cast<std::ptrdiff_t>(at + kFrameSize),
                    got.begin() + static_cast<std::ptrdiff_t>(at))) {
      ++wrong;
    }
  }
  if (got.size() > expected.size()) wrong += (got.size() - expected.size() + 6) / kFrameSize;
  return wrong;
}

}  // namespace

std::vector<Row> StreamingRows(int events) {
  PanelRig rig;
  QScrollBar& slider = rig.Slider("HScroll2");
  QLineEdit& mirror = rig.Field("Text2");
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
    WriteAll(slave, frame);
    floor.push_back(Micros(Clock::now() - start));
  }
  const std::size_t floor_wrong =
      WrongFrames(Frames(path), collector.Take(path.size() * kFrameSize));

  // A drag moves the thumb with setSliderPosition() while the slider is down, as QScrollBar's own
  // mouse handling does; each move is one Scroll.
  slider.setSliderDown(true);
  for (const int position : warm_path) slider.setSliderPosition(position);
  Settle();
  (void)collector.Take(warm_path.size() * kFrameSize);

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
  std::vector<int> sent = path;
  sent.push_back(path.back());
  const std::vector<std::uint8_t> got = collector.Take(sent.size() * kFrameSize);
  Settle();
  const std::int64_t rss_after = StatusKiB(::getpid(), "VmRSS").value_or(0);
  const std::int64_t peak = StatusKiB(::getpid(), "VmHWM").value_or(0);

  const std::size_t wrong = WrongFrames(Frames(sent), got);
  if (mirror.text().toInt() != path.back()) {
    throw std::runtime_error("Text2 does not mirror the last position");
  }
  const Summary panel = Summarize(per_frame);
  const Summary bare = Summarize(floor);
  Row delivered("Streaming: frames missing, out of order or altered", "",
                static_cast<double>(wrong));
  delivered.limit = 0;
  delivered.target = Cat("0 of ", sent.size());
  delivered.detail =
      Cat(events, " Scroll (setSliderPosition while down) and the release's Change; ", got.size(),
          " bytes read for ", sent.size() * kFrameSize, " sent; frames wrong in the floor's pass ",
          floor_wrong);
  if (floor_wrong != 0) delivered.error = "the bare writes themselves lost frames";

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

}  // namespace korvalen::bench
