#include "sim/simulated_device.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <functional>
#include <vector>

namespace korvalen::sim {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAreArray;

// The panel's end of the line: the slave opened by its path as a serial port is, set raw.
class SlaveEnd {
 public:
  explicit SlaveEnd(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!fd_.Valid()) return;
    termios settings{};
    tcgetattr(fd_.Get(), &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    settings.c_cflag |= CSTOPB;
    tcsetattr(fd_.Get(), TCSANOW, &settings);
  }

  [[nodiscard]] bool Valid() const { return fd_.Valid(); }

  void Write(const CommandFrame& frame) const {
    ASSERT_EQ(::write(fd_.Get(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  }

  // Runs the event loop, so the device can act, until `done` holds for what has been read or the
  // hang guard runs out. Returns every byte read; `hung_up` tells whether the line closed.
  std::vector<std::uint8_t> ReadUntil(const std::function<bool(std::size_t)>& done,
                                      std::chrono::milliseconds guard = 5s) {
    std::vector<std::uint8_t> bytes;
    QDeadlineTimer deadline(guard);
    while (!done(bytes.size()) && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      pollfd ready{fd_.Get(), POLLIN, 0};
      if (::poll(&ready, 1, 5) <= 0) continue;
      if (ready.revents & (POLLHUP | POLLERR)) hung_up = true;
      std::array<std::uint8_t, 65536> buffer{};
      const ssize_t got = ::read(fd_.Get(), buffer.data(), buffer.size());
      if (got > 0) bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
      if (hung_up && got <= 0) break;
    }
    return bytes;
  }

  // Lets the device run for `span` and returns what it sent meanwhile.
  std::vector<std::uint8_t> ReadFor(std::chrono::milliseconds span) {
    return ReadUntil([](std::size_t) { return false; }, span);
  }

  bool hung_up = false;

 private:
  UniqueFd fd_;
};

class SimulatedDeviceTest : public ::testing::Test {
 protected:
  SimulatedDevice device_;
  SlaveEnd slave_{device_.SlavePath()};
  std::vector<std::uint8_t> Exactly(std::size_t n) {
    return slave_.ReadUntil([n](std::size_t got) { return got >= n; });
  }
};

TEST_F(SimulatedDeviceTest, AppliesFramesArrivingOverTheLine) {
  ASSERT_TRUE(slave_.Valid());
  QSignalSpy received(&device_, &SimulatedDevice::FrameReceived);
  slave_.Write(SpeedFrame(3, 7));
  slave_.Write(PositionFrame(3, 2000));
  slave_.Write(RunStopFrame(false));
  slave_.ReadUntil([&](std::size_t) { return received.count() >= 3; });
  ASSERT_EQ(received.count(), 3);
  EXPECT_EQ(device_.Model().AxisNow(3).speed, 7);
  EXPECT_EQ(device_.Model().AxisNow(3).set_point, 2000);
  EXPECT_FALSE(device_.Model().Running());
  ASSERT_EQ(device_.History().size(), 3U);
  EXPECT_EQ(device_.History().front().command.kind, DeviceCommand::Kind::Stop);
  EXPECT_EQ(device_.History().back().bytes, SpeedFrame(3, 7));
  EXPECT_EQ(device_.LineSettings(), "19200,N,8,2");
}

TEST_F(SimulatedDeviceTest, AnswersFeedbackWithOneReplyShowingTheLoad) {
  ASSERT_TRUE(slave_.Valid());
  slave_.Write(FeedbackFrame());
  const auto idle = Exactly(7);
  EXPECT_THAT(idle, ElementsAreArray(ReplyBytes({10, 239})));
  EXPECT_TRUE(slave_.ReadFor(100ms).empty()) << "more than one reply";

  slave_.Write(PositionFrame(0, 2400));  // 0.9 s of travel at the initial speed
  slave_.Write(FeedbackFrame());
  const auto moving = Exactly(7);
  ASSERT_EQ(moving.size(), 7U);
  EXPECT_EQ(moving[5], 210);
  EXPECT_EQ(moving[6], 214);
  EXPECT_EQ(device_.RepliesSent(), 2U);
}

TEST_F(SimulatedDeviceTest, IgnoresAFrameWithAWrongCheckByte) {
  ASSERT_TRUE(slave_.Valid());
  QSignalSpy rejected(&device_, &SimulatedDevice::FrameRejected);
  CommandFrame bad = RunStopFrame(false);
  bad[4] = static_cast<std::uint8_t>(bad[4] ^ 0x01);
  slave_.Write(bad);
  slave_.Write(FeedbackFrame());
  EXPECT_EQ(Exactly(7).size(), 7U);
  EXPECT_EQ(rejected.count(), 1);
  EXPECT_TRUE(device_.Model().Running());
}

struct FaultCase {
  const char* name;
  FaultMode mode;
  std::size_t expected_size;
  std::chrono::milliseconds no_bytes_before;  // nothing at all arrives this early
};

class FaultModes : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultModes, ShapeTheReplyAsNamed) {
  SimulatedDevice device;
  device.SetFaultSettings(
      {.reply_delay = 200ms, .split_pause = 150ms, .split_at = 3, .garbage_size = 100000});
  device.SetFaultMode(GetParam().mode);
  SlaveEnd slave(device.SlavePath());
  ASSERT_TRUE(slave.Valid());
  slave.Write(FeedbackFrame());
  if (GetParam().no_bytes_before > 0ms) {
    EXPECT_TRUE(slave.ReadFor(GetParam().no_bytes_before - 50ms).empty());
  }
  const std::size_t want = GetParam().expected_size;
  auto bytes = slave.ReadUntil([want](std::size_t got) { return got >= want; }, 2s);
  const auto late = slave.ReadFor(300ms);
  bytes.insert(bytes.end(), late.begin(), late.end());
  ASSERT_EQ(bytes.size(), want);
  const CommandFrame good = ReplyBytes({10, 239});
  switch (GetParam().mode) {
    case FaultMode::None:
    case FaultMode::DelayedReply:
    case FaultMode::SplitReply:
      EXPECT_THAT(bytes, ElementsAreArray(good));
      break;
    case FaultMode::StrayByte:
      EXPECT_TRUE(std::equal(good.begin(), good.end(), bytes.begin()));
      break;
    case FaultMode::WrongCheckByte:
      EXPECT_NE(bytes[4], good[4]);
      EXPECT_EQ(bytes[5], good[5]);
      EXPECT_EQ(bytes[6], good[6]);
      break;
    case FaultMode::GarbageBurst:
      EXPECT_TRUE(std::equal(good.begin(), good.end(), bytes.end() - 7));
      break;
    case FaultMode::NoReply:
    case FaultMode::HangUp:
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FaultModes,
    ::testing::Values(FaultCase{"None", FaultMode::None, 7, 0ms},
                      FaultCase{"NoReply", FaultMode::NoReply, 0, 0ms},
                      FaultCase{"DelayedReply", FaultMode::DelayedReply, 7, 200ms},
                      FaultCase{"StrayByte", FaultMode::StrayByte, 8, 0ms},
                      FaultCase{"WrongCheckByte", FaultMode::WrongCheckByte, 7, 0ms},
                      FaultCase{"GarbageBurst", FaultMode::GarbageBurst, 100007, 0ms}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SimulatedDeviceTest, SplitReplyPausesBetweenItsPieces) {
  ASSERT_TRUE(slave_.Valid());
  device_.SetFaultSettings(
      {.reply_delay = 0ms, .split_pause = 300ms, .split_at = 3, .garbage_size = 0});
  device_.SetFaultMode(FaultMode::SplitReply);
  slave_.Write(FeedbackFrame());
  const auto first = Exactly(3);
  EXPECT_EQ(first.size(), 3U);
  EXPECT_TRUE(slave_.ReadFor(150ms).empty()) << "the second piece came without a pause";
  auto rest = Exactly(4);
  std::vector<std::uint8_t> whole = first;
  whole.insert(whole.end(), rest.begin(), rest.end());
  EXPECT_THAT(whole, ElementsAreArray(ReplyBytes({10, 239})));
}

TEST_F(SimulatedDeviceTest, HangUpModeClosesTheLineOnARequest) {
  ASSERT_TRUE(slave_.Valid());
  QSignalSpy hung_up(&device_, &SimulatedDevice::HungUp);
  device_.SetFaultMode(FaultMode::HangUp);
  slave_.Write(FeedbackFrame());
  const auto bytes = slave_.ReadUntil([this](std::size_t) { return slave_.hung_up; });
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(slave_.hung_up);
  EXPECT_EQ(hung_up.count(), 1);
  EXPECT_FALSE(device_.Open());
}

TEST_F(SimulatedDeviceTest, GarbageWaitsForRoomWithoutBlocking) {
  ASSERT_TRUE(slave_.Valid());
  // Nobody reads: the burst must stay queued, and the device keeps answering what it can.
  device_.SendGarbage(std::size_t{1} << 20);
  QCoreApplication::processEvents();
  EXPECT_GT(device_.PendingOutput(), 0U);
  QSignalSpy received(&device_, &SimulatedDevice::FrameReceived);
  slave_.Write(RunStopFrame(false));
  QDeadlineTimer guard(5s);
  while (received.count() == 0 && !guard.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(received.count(), 1);
  EXPECT_FALSE(device_.Model().Running());
  const auto all = slave_.ReadUntil([](std::size_t got) { return got >= (std::size_t{1} << 20); });
  EXPECT_EQ(all.size(), std::size_t{1} << 20);
  EXPECT_EQ(device_.PendingOutput(), 0U);
}

}  // namespace
}  // namespace korvalen::sim

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
