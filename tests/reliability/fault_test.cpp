// What the line can do to a running panel (an adapter pulled, a port someone else holds, a reply
// cut in two, a flood of noise, a device that reads late) seen through the real window and the real
// link, with the simulated device or a pseudo-terminal the test plays itself on the other end.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sim/simulated_device.h"
#include "tests/reliability/fault_bench.h"
#include "tests/serial/pty_pair.h"

namespace korvalen::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PumpFor;
using test::PumpUntil;

const Bytes kFeedbackRequest = Frame(0xE8, 0, 0);
const Bytes kShutdown = Frame(0xEF, 0, 0);

std::string Reading(std::uint8_t value) {
  return " " + std::to_string(value);
}

// Every frame the simulated device accepted, in the order it came.
class FrameLog {
 public:
  explicit FrameLog(sim::SimulatedDevice& device) {
    QObject::connect(
        &device, &sim::SimulatedDevice::FrameReceived, &device,
        [this](const QByteArray& frame) { frames_.emplace_back(frame.begin(), frame.end()); });
  }
  [[nodiscard]] const std::vector<Bytes>& Frames() const { return frames_; }

 private:
  std::vector<Bytes> frames_;
};

void Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::chrono::nanoseconds CpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

TEST(AdapterPulled, MidDragEndsInOneMessageNoFurtherFrameAndAnIdleLoop) {
  sim::SimulatedDevice device;
  const FrameLog log(device);
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());
  auto* const bar = bench.Child<QScrollBar>("HScroll2");
  std::vector<int> values;
  QObject::connect(bar, &QScrollBar::valueChanged, bar, [&values](int v) { values.push_back(v); });

  const QPoint start = bench.Thumb("HScroll2");
  QTest::mousePress(bar, Qt::LeftButton, {}, start);
  for (int dx = 3; dx <= 12; dx += 3) QTest::mouseMove(bar, start + QPoint(dx, 0));
  ASSERT_GE(values.size(), 2u);
  ASSERT_TRUE(bar->isSliderDown());
  std::vector<Bytes> streamed;
  for (const int value : values) streamed.push_back(PositionBytes(value));
  ASSERT_TRUE(PumpUntil([&] { return log.Frames().size() >= streamed.size(); }, 5s));
  EXPECT_EQ(log.Frames(), streamed);

  // The next moves come before the loop has had a turn to notice the line is gone.
  device.HangUp();
  for (int dx = 15; dx <= 24; dx += 3) QTest::mouseMove(bar, start + QPoint(dx, 0));
  ASSERT_TRUE(PumpUntil([&] { return !bench.Boxes().Shown().empty(); }, 5s));
  for (int dx = 27; dx <= 36; dx += 3) QTest::mouseMove(bar, start + QPoint(dx, 0));
  QTest::mouseRelease(bar, Qt::LeftButton, {}, start + QPoint(36, 0));
  PumpFor(200ms);  // time for a late second report, if the loss were reported twice

  // The failing call reports the loss at once; the link's later notice of it adds nothing.
  EXPECT_EQ(bench.Boxes().Shown(),
            (std::vector<ShownBox>{
                {"Connect error!", device.SlavePath() + " went away: Input/output error"}}));
  EXPECT_EQ(bench.Caption(Control::Command1), "Connect");
  EXPECT_FALSE(bench.Comm().PortOpen());
  EXPECT_EQ(bench.Probe().Outputs(), streamed) << "nothing may be written after the hang-up";
  EXPECT_EQ(log.Frames(), streamed);
  EXPECT_EQ(bench.Text(Control::Text2), std::to_string(bar->value()))
      << "the field still follows the slider";

  // A dead descriptor left in the loop would wake it without end.
  const WakeupCounter counter;
  const auto cpu_before = CpuTime();
  PumpFor(200ms);
  ::testing::Test::RecordProperty("idle_wakeups", counter.Wakeups());
  EXPECT_LT(counter.Wakeups(), 50);
  EXPECT_LT(CpuTime() - cpu_before, 100ms);

  bench.Click("Command3");
  EXPECT_EQ(bench.Probe().Outputs(), streamed);
  EXPECT_EQ(bench.Boxes().Shown().size(), 1u) << "a closed port drops commands silently";
}

// Holds the port the way another program would, until the returned handle goes.
using Hold = std::shared_ptr<void> (*)(const std::string& path);

std::shared_ptr<void> HoldOpenWith(const std::string& path, bool flock_it) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  const int held = flock_it ? ::flock(fd, LOCK_EX | LOCK_NB) : ::ioctl(fd, TIOCEXCL);
  if (held != 0) {
    const int error = errno;
    ::close(fd);
    throw std::system_error(error, std::generic_category(), "hold " + path);
  }
  return {nullptr, [fd](void*) {
            // The exclusive flag belongs to the terminal, which the device side keeps open.
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
          }};
}

struct PortHeld {
  const char* name;
  bool only_unprivileged;  // root passes this check by design
  Hold hold;
  std::string (*reason)(const std::string& path);
};

void PrintTo(const PortHeld& held, std::ostream* out) {
  *out << held.name;
}

std::string Busy(const std::string& path) {
  return "busy: another program has " + path + " open";
}

const PortHeld kHeldPorts[] = {
    {"AnotherPanel", false,
     [](const std::string& path) -> std::shared_ptr<void> {
       auto other = std::make_shared<HostSerialLink>(FixedPorts(PortTable::One(path)));
       other->SetCommPort(1);
       other->SetSettings("19200,N,8,2");
       other->SetPortOpen(true);
       return other;
     },
     Busy},
    {"LockedWithFlock", false, [](const std::string& path) { return HoldOpenWith(path, true); },
     Busy},
    {"OpenedExclusively", false, [](const std::string& path) { return HoldOpenWith(path, false); },
     Busy},
    {"NoPermission", true,
     [](const std::string& path) -> std::shared_ptr<void> {
       struct stat before {};
       if (::stat(path.c_str(), &before) != 0 || ::chmod(path.c_str(), 0) != 0) {
         throw std::system_error(errno, std::generic_category(), "chmod " + path);
       }
       return {nullptr,
               [path, mode = before.st_mode & 07777](void*) { ::chmod(path.c_str(), mode); }};
     },
     [](const std::string& path) {
       return "permission denied: " + path +
              " (add your user to the dialout group and log in again)";
     }},
};

class PortUnavailable : public ::testing::TestWithParam<PortHeld> {};

TEST_P(PortUnavailable, ConnectSaysWhyKeepsCaptionAndPortAndWorksOnceFree) {
  const PortHeld& held = GetParam();
  if (held.only_unprivileged && ::geteuid() == 0) GTEST_SKIP() << "root is let through";
  sim::SimulatedDevice device;
  const FrameLog log(device);
  Bench bench(device.SlavePath());
  {
    const std::shared_ptr<void> holder = held.hold(device.SlavePath());
    bench.TypePort("1");
    bench.Click("Command1");
    EXPECT_EQ(bench.Boxes().Shown(),
              (std::vector<ShownBox>{{"Connect error!", held.reason(device.SlavePath())}}));
    EXPECT_EQ(bench.Caption(Control::Command1), "Connect");
    EXPECT_EQ(bench.State().PortNumber(), 1)
        << "the typed number is kept, as the open failed after";
    EXPECT_FALSE(bench.Comm().PortOpen());
  }
  ASSERT_TRUE(bench.Connect()) << "the panel stays usable once the port is free";
  EXPECT_EQ(bench.Boxes().Shown().size(), 1u);
  bench.Click("Command3");
  ASSERT_TRUE(PumpUntil([&] { return !log.Frames().empty(); }, 5s));
  EXPECT_EQ(log.Frames(), std::vector<Bytes>{kFeedbackRequest});
}

INSTANTIATE_TEST_SUITE_P(Holders, PortUnavailable, ::testing::ValuesIn(kHeldPorts),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CutReply, SplitThreeAndFourWithAPauseIsShownOnce) {
  sim::SimulatedDevice device;
  device.SetFaultSettings({.split_pause = 150ms, .split_at = 3});
  device.SetFaultMode(sim::FaultMode::SplitReply);
  Bench bench(device.SlavePath());
  Bytes reply;
  std::size_t reads_before_rest = 99;
  std::string shown_before_rest;
  QObject::connect(&device, &sim::SimulatedDevice::ReplySent, &device, [&](const QByteArray& b) {
    reply.assign(b.begin(), b.end());
    reads_before_rest = bench.Probe().Reads().size();
    shown_before_rest = bench.Text(Control::Text3);
  });
  ASSERT_TRUE(bench.Connect());
  bench.Click("Command3");
  ASSERT_TRUE(PumpUntil([&] { return !bench.Probe().Reads().empty(); }, 5s));
  PumpFor(100ms);

  EXPECT_EQ(reads_before_rest, 0u) << "three bytes must not raise a receive event";
  EXPECT_EQ(shown_before_rest, "0");
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(bench.Probe().Reads(), std::vector<Bytes>{reply});
  EXPECT_EQ(bench.Text(Control::Text3), Reading(reply[5]));
  EXPECT_EQ(bench.Text(Control::Text4), Reading(reply[6]));
}

TEST(CutReply, EightBytesAtOnceAreDroppedAndTheNextSevenShown) {
  test::PtyPair device;
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());
  bench.Click("Command3");
  ASSERT_EQ(device.ReadExactly(7, 5s, Pump), kFeedbackRequest);

  device.Write({0x80, 0x00, 0x00, 0x00, 0x80, 0x63, 0x64, 0x55});
  ASSERT_TRUE(PumpUntil([&] { return !bench.Probe().Reads().empty(); }, 5s));
  PumpFor(100ms);
  ASSERT_EQ(bench.Probe().Reads().size(), 1u);
  EXPECT_EQ(bench.Probe().Reads()[0].size(), 8u);
  EXPECT_EQ(bench.Text(Control::Text3), "0");
  EXPECT_EQ(bench.Text(Control::Text4), "0");

  const Bytes reply{0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};
  device.Write(reply);
  ASSERT_TRUE(PumpUntil([&] { return bench.Probe().Reads().size() >= 2; }, 5s));
  EXPECT_EQ(bench.Probe().Reads()[1], reply);
  EXPECT_EQ(bench.Text(Control::Text3), " 42");
  EXPECT_EQ(bench.Text(Control::Text4), " 12");
  EXPECT_TRUE(device.ReadAvailable().empty()) << "a reply is never answered";
}

TEST(Noise, AMegabyteKeepsTheWindowResponsiveTheBufferSmallAndShowsNothingFalse) {
  constexpr std::size_t kFlood = std::size_t{1} << 20;
  sim::SimulatedDevice device;
  device.SetFaultSettings({.garbage_size = kFlood});
  device.SetFaultMode(sim::FaultMode::GarbageBurst);
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());

  // A chain of posted events, each timing how long it waited behind the flood.
  bool beating = true;
  int beats = 0;
  Clock::duration longest{};
  Clock::time_point posted;
  std::function<void()> beat;
  beat = [&] {
    posted = Clock::now();
    QTimer::singleShot(0, &bench.Window(), [&] {
      longest = std::max(longest, Clock::now() - posted);
      ++beats;
      if (beating) beat();
    });
  };
  bench.Click("Command3");
  beat();
  ASSERT_TRUE(PumpUntil([&] { return bench.Probe().BytesRead() >= kFlood + 7; }, 60s))
      << bench.Probe().BytesRead() << " bytes read";
  beating = false;
  PumpFor(100ms);

  ::testing::Test::RecordProperty(
      "longest_wait_us",
      static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(longest).count()));
  ::testing::Test::RecordProperty("reads", static_cast<int>(bench.Probe().Reads().size()));
  EXPECT_EQ(bench.Probe().BytesRead(), kFlood + 7) << "every byte drained, none kept back";
  EXPECT_GT(beats, 10);
  EXPECT_LT(longest, 100ms)
      << "an event waited "
      << std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()
      << " ms behind the flood";
  std::size_t largest = 0;
  for (const Bytes& read : bench.Probe().Reads()) largest = std::max(largest, read.size());
  EXPECT_LE(largest, std::size_t{64} << 10) << "the link may not pile the flood up";
  ::testing::Test::RecordProperty("largest_read", static_cast<int>(largest));

  // Any read of exactly 7 is a reading, noise or not; nothing else may reach the fields.
  std::string current = "0";
  std::string voltage = "0";
  for (const Bytes& read : bench.Probe().Reads()) {
    if (read.size() != 7) continue;
    current = Reading(read[5]);
    voltage = Reading(read[6]);
  }
  EXPECT_EQ(bench.Text(Control::Text3), current);
  EXPECT_EQ(bench.Text(Control::Text4), voltage);
  EXPECT_TRUE(bench.Comm().PortOpen());
  EXPECT_TRUE(bench.Boxes().Shown().empty());
}

TEST(LateReply, AfterASliderMoveItIsReadAndDropped) {
  test::PtyPair device;
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());
  bench.Click("Command3");
  ASSERT_EQ(device.ReadExactly(7, 5s, Pump), kFeedbackRequest);
  bench.PressKey("HScroll2", Qt::Key_Right);
  ASSERT_EQ(device.ReadExactly(7, 5s, Pump), PositionBytes(1510));

  const Bytes late{0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};
  device.Write(late);
  ASSERT_TRUE(PumpUntil([&] { return !bench.Probe().Reads().empty(); }, 5s));
  PumpFor(100ms);
  EXPECT_EQ(bench.Probe().Reads(), std::vector<Bytes>{late});
  EXPECT_EQ(bench.Text(Control::Text3), "0");
  EXPECT_EQ(bench.Text(Control::Text4), "0");

  bench.Click("Command3");
  ASSERT_EQ(device.ReadExactly(7, 5s, Pump), kFeedbackRequest);
  const Bytes next{0x80, 0x00, 0x00, 0x00, 0x80, 0x07, 0xF0};
  device.Write(next);
  ASSERT_TRUE(PumpUntil([&] { return bench.Probe().Reads().size() >= 2; }, 5s));
  EXPECT_EQ(bench.Probe().Reads()[1], next) << "the dropped reply must not join the next";
  EXPECT_EQ(bench.Text(Control::Text3), " 7");
  EXPECT_EQ(bench.Text(Control::Text4), " 240");
}

struct BoxOpenCase {
  const char* name;
  const char* port_text;
  ShownBox box;
  bool slider_moved;  // after the request, so the reply is stale
};

const BoxOpenCase kBoxOpenCases[] = {
    {"NotNumeric", "abc", {"CommPort Numeric", ""}, false},
    {"OutOfRange", "300", {"Connect error!", "the port number must be 0 to 255"}, false},
    {"OutOfRangeAfterMove", "300", {"Connect error!", "the port number must be 0 to 255"}, true},
};

void PrintTo(const BoxOpenCase& c, std::ostream* out) {
  *out << c.name;
}

class ReplyDuringBox : public ::testing::TestWithParam<BoxOpenCase> {};

TEST_P(ReplyDuringBox, IsHandledAsAtAnyOtherTime) {
  const BoxOpenCase& c = GetParam();
  test::PtyPair device;
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());
  bench.Click("Command3");
  ASSERT_EQ(device.ReadExactly(7, 5s, Pump), kFeedbackRequest);
  if (c.slider_moved) {
    bench.PressKey("HScroll2", Qt::Key_Right);
    ASSERT_EQ(device.ReadExactly(7, 5s, Pump), PositionBytes(1510));
  }

  const Bytes reply{0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};
  bench.Boxes().WhileOpen([&] {
    device.Write(reply);
    PumpUntil([&] { return !bench.Probe().Reads().empty(); }, 5s);
  });
  bench.TypePort(c.port_text);
  bench.Click("Command1");

  EXPECT_EQ(bench.Boxes().Shown(), std::vector<ShownBox>{c.box});
  EXPECT_EQ(bench.Probe().Reads(), std::vector<Bytes>{reply});
  EXPECT_EQ(bench.Probe().ReadWhileBoxOpen(), std::vector<bool>{true});
  EXPECT_EQ(bench.Text(Control::Text3), c.slider_moved ? "0" : " 42");
  EXPECT_EQ(bench.Text(Control::Text4), c.slider_moved ? "0" : " 12");
  EXPECT_TRUE(bench.Comm().PortOpen());
  EXPECT_EQ(bench.Caption(Control::Command1), "NotConnect");
  EXPECT_EQ(bench.State().PortNumber(), 1);
  EXPECT_TRUE(device.ReadAvailable().empty());
}

INSTANTIATE_TEST_SUITE_P(Messages, ReplyDuringBox, ::testing::ValuesIn(kBoxOpenCases),
                         [](const auto& row) { return std::string(row.param.name); });

// Fills what the line holds towards the device, as earlier traffic the device has not read yet
// would. The terminal moves bytes on to the reading side a moment after a write, so the line is
// full only once a pause leaves no more room.
Bytes FillLine(int slave) {
  ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
  Bytes filler;
  std::uint8_t chunk[512];
  for (int quiet = 0; quiet < 2;) {
    std::this_thread::sleep_for(20ms);
    const std::size_t before = filler.size();
    while (true) {
      for (std::size_t i = 0; i < sizeof chunk; ++i) {
        chunk[i] = static_cast<std::uint8_t>((filler.size() + i) % 251);
      }
      const ssize_t put = ::write(slave, chunk, sizeof chunk);
      if (put <= 0) break;
      filler.insert(filler.end(), chunk, chunk + put);
    }
    quiet = filler.size() == before ? quiet + 1 : 0;
  }
  return filler;
}

bool Writable(int fd) {
  pollfd wanted{fd, POLLOUT, 0};
  return ::poll(&wanted, 1, 0) > 0 && (wanted.revents & POLLOUT) != 0;
}

struct SlowReader {
  const char* name;
  std::chrono::milliseconds reads_after;
  bool arrives;
};

const SlowReader kSlowReaders[] = {
    {"ReadsAfterAWhile", 300ms, true},
    {"NeverReadsInTime", 3000ms, false},
};

void PrintTo(const SlowReader& slow, std::ostream* out) {
  *out << slow.name;
}

class ExitWhileDeviceSlow : public ::testing::TestWithParam<SlowReader> {};

TEST_P(ExitWhileDeviceSlow, ShutdownFrameArrivesWholeOrTheOperatorIsTold) {
  const SlowReader& slow = GetParam();
  test::PtyPair device;
  Bench bench(device.SlavePath());
  ASSERT_TRUE(bench.Connect());
  const Bytes filler = FillLine(device.SlaveFd());
  ASSERT_FALSE(filler.empty());
  ASSERT_FALSE(Writable(device.SlaveFd())) << "the line must be full before Exit";
  bench.PressKey("HScroll2", Qt::Key_Right);
  bench.PressKey("HScroll2", Qt::Key_Right);

  Bytes expected = filler;
  for (const Bytes& frame : {PositionBytes(1510), PositionBytes(1520), kShutdown}) {
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  Bytes received;
  std::thread reader;
  QTimer::singleShot(0, &bench.Window(), [&] {
    reader = std::thread([&] {
      std::this_thread::sleep_for(slow.reads_after);
      received = device.ReadExactly(expected.size(), slow.arrives ? 10s : 500ms);
    });
    bench.Click("Command2");
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &bench.Window(), [] { QCoreApplication::exit(99); });
  guard.start(20000);
  EXPECT_EQ(QApplication::exec(), 0) << "Exit must end the program";
  reader.join();

  EXPECT_FALSE(bench.Comm().PortOpen());
  EXPECT_EQ(bench.Probe().Outputs(),
            (std::vector<Bytes>{PositionBytes(1510), PositionBytes(1520), kShutdown}));
  if (slow.arrives) {
    EXPECT_EQ(received, expected) << "the backlog and then the shutdown frame, whole, in order";
    EXPECT_TRUE(bench.Boxes().Shown().empty());
  } else {
    ASSERT_EQ(bench.Boxes().Shown().size(), 1u);
    EXPECT_EQ(bench.Boxes().Shown()[0].text, "Connect error!");
    EXPECT_EQ(bench.Boxes().Shown()[0].reason,
              "closed " + device.SlavePath() + " with 21 bytes unsent: the line took none for 2 s");
    ASSERT_LE(received.size(), filler.size()) << "no part of a frame may go out";
    EXPECT_TRUE(std::equal(received.begin(), received.end(), filler.begin()));
  }
  PumpFor(100ms);
  EXPECT_TRUE(device.ReadAvailable().empty()) << "nothing after the shutdown frame";
}

INSTANTIATE_TEST_SUITE_P(Readers, ExitWhileDeviceSlow, ::testing::ValuesIn(kSlowReaders),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace korvalen::testing
