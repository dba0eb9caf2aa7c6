// What the line can do to a running panel (a port someone else holds, a reply cut or padded, a
// flood of noise, a device that reads late or hangs up during the last close) seen through the
// real window and the real link, with the simulated device or a pseudo-terminal the test plays
// itself on the other end.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/simulated_device.h"
#include "tests/support/controls.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::Click;
using test::Find;

const Bytes kPosition1510{0x80, 0x00, 0x05, 0xE6, 0x95, 0x00, 0x00};
const Bytes kPosition1520{0x80, 0x00, 0x05, 0xF0, 0x8B, 0x00, 0x00};
const Bytes kShutdown{0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00};

// The real window over the real link, port 1 being whatever plays the device. The window talks to
// the link through this bench, which keeps what each read returned and what each write handed
// over: how the bytes came off the line, not only what the window made of them.
struct Bench final : SerialLink {
  explicit Bench(PortSource ports) : comm(std::move(ports)) {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  void SetCommPort(std::int16_t port) override { comm.SetCommPort(port); }
  void SetSettings(const std::string& settings) override { comm.SetSettings(settings); }
  bool PortOpen() const override { return comm.PortOpen(); }
  void SetPortOpen(bool open) override {
    if (open) return comm.SetPortOpen(true);
    // Read by a device played on another thread, which acts once the close waits on the line.
    const struct Closed {
      std::atomic<int>& count;
      ~Closed() { ++count; }
    } closed{closes_ended};
    ++closes_begun;
    comm.SetPortOpen(false);
  }
  void SetInBufferCount(int count) override { comm.SetInBufferCount(count); }
  void SetOutput(std::span<const std::uint8_t> bytes) override {
    outputs.emplace_back(bytes.begin(), bytes.end());
    comm.SetOutput(bytes);
  }
  std::size_t OutBufferCount() const override { return comm.OutBufferCount(); }
  std::int16_t CommEvent() const override { return comm.CommEvent(); }
  Bytes Input() override {
    reads.push_back(comm.Input());
    read_sizes.push_back(reads.back().size());
    bytes_read += reads.back().size();
    return reads.back();
  }
  std::string PortName() const override { return comm.PortName(); }
  void SetOnComm(std::function<void()> on) override { comm.SetOnComm(std::move(on)); }
  void SetOnPortLost(std::function<void()> on) override { comm.SetOnPortLost(std::move(on)); }

  // Types the port number and clicks Command1; true when the window then says it is connected.
  [[nodiscard]] bool ConnectTo(const char* port = "1") {
    Find<QLineEdit>(window, "Text6").selectAll();
    QTest::keyClicks(&Find<QLineEdit>(window, "Text6"), QString::fromLatin1(port));
    Click(window, "Command1");
    return comm.PortOpen() && window.Caption(Control::Command1) == "NotConnect";
  }
  void MovePosition() {
    Find<QScrollBar>(window, "HScroll2").setFocus();
    QTest::keyClick(&Find<QScrollBar>(window, "HScroll2"), Qt::Key_Right);
  }
  [[nodiscard]] std::string Readings() const {
    return window.Text(Control::Text3) + "|" + window.Text(Control::Text4);
  }

  HostSerialLink comm;
  std::vector<Bytes> reads;
  std::vector<std::size_t> read_sizes;
  std::size_t bytes_read = 0;
  std::vector<Bytes> outputs;
  std::atomic<int> closes_begun = 0;
  std::atomic<int> closes_ended = 0;
  frm_Korvalen window{*this};
};

// The ways another program can hold the port, each taken on a descriptor of the test's own.
struct PortHeld {
  const char* name;
  int (*hold)(int fd, const char* path);
};

const PortHeld kHeldPorts[] = {
    {"Locked", [](int fd, const char*) { return ::flock(fd, LOCK_EX | LOCK_NB); }},
    {"OpenedExclusively", [](int fd, const char*) { return ::ioctl(fd, TIOCEXCL); }},
    {"NoPermission", [](int, const char* path) { return ::chmod(path, 0); }}};

void PrintTo(const PortHeld& held, std::ostream* out) {
  *out << held.name;
}

class PortUnavailable : public ::testing::TestWithParam<PortHeld> {};

TEST_P(PortUnavailable, ConnectSaysWhyKeepsCaptionAndPortNumberAndWorksOnceFree) {
  const bool permission = std::string(GetParam().name) == "NoPermission";
  if (permission && ::geteuid() == 0) GTEST_SKIP() << "root is let through";
  sim::SimulatedDevice device;
  test::MessageBoxes boxes;
  Bench bench(device.Table());
  const std::string& path = device.SlavePath();
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(GetParam().hold(fd, path.c_str()), 0);
  EXPECT_FALSE(bench.ConnectTo());
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"Connect error!"});
  EXPECT_EQ(boxes.All()[0].reason.toStdString(),
            permission ? "permission denied: " + path +
                             " (add your user to the dialout group and log in again)"
                       : "busy: another program has " + path + " open");
  EXPECT_EQ(bench.window.State().PortNumber(), 1) << "the number is kept, as the open failed after";

  ::ioctl(fd, TIOCNXCL);  // the flag belongs to the terminal, which the device keeps open
  ::close(fd);
  ::chmod(path.c_str(), before.st_mode & 07777);
  ASSERT_TRUE(bench.ConnectTo());
  Click(bench.window, "Command3");
  EXPECT_TRUE(QTest::qWaitFor([&] { return bench.Readings() == " 10| 239"; }, 5000));
  EXPECT_EQ(boxes.All().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(Holders, PortUnavailable, ::testing::ValuesIn(kHeldPorts),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ReplyShapes, OnlySevenBytesReadAtOnceAfterTheRequestAreShown) {
  struct Shape {
    sim::FaultMode mode;
    bool slider_moved;  // after the request, so the reply comes late
    std::vector<std::size_t> reads;
    const char* shown;
  };
  const Shape shapes[] = {{sim::FaultMode::kNone, false, {7}, " 10| 239"},
                          {sim::FaultMode::kNoReply, false, {}, "0|0"},
                          {sim::FaultMode::kDelayedReply, false, {7}, " 10| 239"},
                          {sim::FaultMode::kDelayedReply, true, {7}, "0|0"},
                          {sim::FaultMode::kSplitReply, false, {7}, " 10| 239"},  // 3, pause, 4
                          {sim::FaultMode::kStrayByte, false, {8}, "0|0"},
                          {sim::FaultMode::kWrongCheckByte, false, {7}, " 10| 239"}};
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(static_cast<int>(shape.mode));
    sim::SimulatedDevice device;
    device.SetFaultSettings({.reply_delay = 200ms, .split_pause = 150ms, .split_at = 3});
    device.SetFaultMode(shape.mode);
    Bench bench(device.Table());
    ASSERT_TRUE(bench.ConnectTo());
    Click(bench.window, "Command3");
    if (shape.slider_moved) bench.MovePosition();
    (void)QTest::qWaitFor([&] { return bench.reads.size() >= shape.reads.size(); }, 5000);
    QTest::qWait(300);  // past every pause, so a late or second read would show
    EXPECT_EQ(bench.read_sizes, shape.reads);
    EXPECT_EQ(bench.Readings(), shape.shown);
  }
}

// How long the window stays deaf to its operator under the flood is the benchmark's to measure.
TEST(Noise, AMegabyteIsDrainedInSmallReadsAndShowsNothingFalse) {
  constexpr std::size_t kFlood = std::size_t{1} << 20;
  sim::SimulatedDevice device;
  device.SetFaultSettings({.garbage_size = kFlood});
  device.SetFaultMode(sim::FaultMode::kGarbageBurst);
  test::MessageBoxes boxes;
  Bench bench(device.Table());
  ASSERT_TRUE(bench.ConnectTo());
  Click(bench.window, "Command3");
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench.bytes_read >= kFlood + 7; }, 60000))
      << bench.bytes_read << " bytes read";
  QTest::qWait(100);

  EXPECT_EQ(bench.bytes_read, kFlood + 7) << "every byte drained, none kept back";
  EXPECT_LE(*std::max_element(bench.read_sizes.begin(), bench.read_sizes.end()), 64U << 10)
      << "the link may not pile the flood up";
  // Any read of exactly 7 is a reading, noise or not; nothing else may reach the fields.
  std::string shown = "0|0";
  for (const Bytes& bytes : bench.reads) {
    if (bytes.size() == 7) shown = " " + std::to_string(bytes[5]) + "| " + std::to_string(bytes[6]);
  }
  EXPECT_EQ(bench.Readings(), shown);
  EXPECT_TRUE(bench.comm.PortOpen());
  EXPECT_TRUE(boxes.All().empty());
}

// Fills what the line holds towards the device, as traffic the device has not read yet would. The
// terminal moves bytes on to the reading side a moment after a write, so the line is full only
// once a pause leaves no more room.
Bytes FillLine(int slave) {
  Bytes filler;
  for (int quiet = 0; quiet < 2;) {
    std::this_thread::sleep_for(20ms);
    const std::size_t before = filler.size();
    for (ssize_t put = 1; put > 0;) {
      std::uint8_t chunk[512];
      for (std::size_t i = 0; i < sizeof chunk; ++i) {
        chunk[i] = static_cast<std::uint8_t>((filler.size() + i) % 251);
      }
      put = ::write(slave, chunk, sizeof chunk);
      if (put > 0) filler.insert(filler.end(), chunk, chunk + put);
    }
    quiet = filler.size() == before ? quiet + 1 : 0;
  }
  return filler;
}

TEST(ExitWhileDeviceSlow, ShutdownFrameArrivesWholeOrTheOperatorIsToldWithinTheBound) {
  // What the device does while the shutdown frame waits behind its unread backlog.
  enum class Then { kReadsLate, kNeverReads, kHangsUp };
  for (const Then then : {Then::kReadsLate, Then::kNeverReads, Then::kHangsUp}) {
    SCOPED_TRACE(static_cast<int>(then));
    const bool arrives = then == Then::kReadsLate;
    sim::PseudoTerminal device;
    test::MessageBoxes boxes;
    Bench bench(device.Table());
    ASSERT_TRUE(bench.ConnectTo());
    const Bytes filler = FillLine(device.Slave());
    bench.MovePosition();
    bench.MovePosition();
    Bytes expected = filler;
    for (const Bytes& frame : {kPosition1510, kPosition1520, kShutdown}) {
      expected.insert(expected.end(), frame.begin(), frame.end());
    }
    Bytes received;
    std::thread reader;
    QTimer::singleShot(0, &bench.window, [&] {
      reader = std::thread([&] {
        // The device acts while the close waits for it; one that never reads is looked at after.
        const std::atomic<int>& close =
            then == Then::kNeverReads ? bench.closes_ended : bench.closes_begun;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (close == 0 && std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(close, 1) << "no close came";
        if (then == Then::kHangsUp) return device.HangUp();
        received = device.Read(expected.size(), arrives ? 10s : 500ms);
      });
      Click(bench.window, "Command2");
    });
    QTimer::singleShot(20000, &bench.window, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), arrives ? 0 : Panel::kShutdownNotDelivered)
        << "Exit must end the program, and say whether the device heard it";
    reader.join();

    EXPECT_FALSE(bench.comm.PortOpen());
    EXPECT_EQ(bench.comm.OutBufferCount(), arrives ? 0U : 21U) << "what the close dropped";
    EXPECT_EQ(bench.outputs, (std::vector<Bytes>{kPosition1510, kPosition1520, kShutdown}));
    if (arrives) {
      EXPECT_EQ(received, expected) << "the backlog and then the shutdown frame, whole, in order";
      EXPECT_TRUE(boxes.All().empty());
    } else {
      const std::string& path = device.SlavePath();
      ASSERT_EQ(boxes.Texts(), std::vector<QString>{"Connect error!"});
      EXPECT_EQ(boxes.All()[0].reason.toStdString(),
                then == Then::kHangsUp
                    ? "the line to " + path + " went away before the last bytes were sent"
                    : "closed " + path + " with 21 bytes unsent: the line took none for 2 s");
      ASSERT_LE(received.size(), filler.size()) << "no part of a frame may go out";
      EXPECT_TRUE(std::equal(received.begin(), received.end(), filler.begin()));
    }
    QTest::qWait(100);
    EXPECT_TRUE(device.ReadAvailable().empty()) << "nothing after the shutdown frame";
  }
}

}  // namespace
}  // namespace korvalen
