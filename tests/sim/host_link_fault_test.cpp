#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "serial/host_serial_link.h"
#include "sim/simulated_device.h"

namespace korvalen::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds guard) {
  QDeadlineTimer deadline(guard);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

void PumpFor(std::chrono::milliseconds span) {
  PumpUntil([] { return false; }, span);
}

// The panel's link on the slave end, opened the way the connect button opens it, keeping every read
// its receive event made.
class LinkOnDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.SetFaultSettings(
        {.reply_delay = 250ms, .split_pause = 150ms, .split_at = 3, .garbage_size = 200000});
    comm_.SetOnComm([this] {
      if (comm_.CommEvent() == SerialLink::kEventReceive) reads_.push_back(comm_.Input());
    });
    comm_.SetOnPortLost([this] { lost_ = true; });
    comm_.SetCommPort(1);
    comm_.SetSettings("19200,N,8,2");
    comm_.SetPortOpen(true);
    ASSERT_TRUE(comm_.PortOpen());
  }

  void RequestFeedback(FaultMode mode) {
    device_.SetFaultMode(mode);
    const CommandFrame frame = FeedbackFrame();
    comm_.SetOutput(frame);
  }

  [[nodiscard]] std::size_t BytesRead() const {
    std::size_t total = 0;
    for (const Bytes& read : reads_) total += read.size();
    return total;
  }

  SimulatedDevice device_;
  HostSerialLink comm_{FixedPorts(PortTable::One(device_.SlavePath()))};
  std::vector<Bytes> reads_;
  bool lost_ = false;
};

const CommandFrame kIdleReply = ReplyBytes({10, 239});

TEST_F(LinkOnDevice, TheDeviceSeesTheLineSettingsThePanelSet) {
  EXPECT_EQ(device_.LineSettings(), "19200,N,8,2");
}

TEST_F(LinkOnDevice, PlainReplyIsOneReadOfSevenBytes) {
  RequestFeedback(FaultMode::None);
  ASSERT_TRUE(PumpUntil([this] { return !reads_.empty(); }, 2s));
  PumpFor(100ms);
  ASSERT_EQ(reads_.size(), 1U);
  const auto reply = ReplyFrame::From(reads_[0]);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->Current(), 10);
  EXPECT_EQ(reply->Voltage(), 239);
}

TEST_F(LinkOnDevice, NoReplyRaisesNoReceiveEvent) {
  RequestFeedback(FaultMode::NoReply);
  PumpFor(400ms);
  EXPECT_TRUE(reads_.empty());
  EXPECT_EQ(device_.History().size(), 1U) << "the request must still have arrived";
}

TEST_F(LinkOnDevice, DelayedReplyComesOnlyAfterTheDelay) {
  RequestFeedback(FaultMode::DelayedReply);
  PumpFor(150ms);
  EXPECT_TRUE(reads_.empty());
  ASSERT_TRUE(PumpUntil([this] { return !reads_.empty(); }, 2s));
  EXPECT_EQ(reads_[0], Bytes(kIdleReply.begin(), kIdleReply.end()));
}

TEST_F(LinkOnDevice, SplitReplyWaitsForTheThresholdAndReadsWhole) {
  RequestFeedback(FaultMode::SplitReply);
  PumpFor(100ms);
  EXPECT_TRUE(reads_.empty()) << "three bytes must not raise the receive event";
  ASSERT_TRUE(PumpUntil([this] { return !reads_.empty(); }, 2s));
  PumpFor(50ms);
  ASSERT_EQ(reads_.size(), 1U);
  EXPECT_EQ(reads_[0], Bytes(kIdleReply.begin(), kIdleReply.end()));
}

TEST_F(LinkOnDevice, StrayByteMakesAnEightByteReadThatIsNoReply) {
  RequestFeedback(FaultMode::StrayByte);
  ASSERT_TRUE(PumpUntil([this] { return !reads_.empty(); }, 2s));
  PumpFor(50ms);
  ASSERT_EQ(reads_.size(), 1U);
  EXPECT_EQ(reads_[0].size(), 8U);
  EXPECT_FALSE(ReplyFrame::From(reads_[0]).has_value());
}

TEST_F(LinkOnDevice, WrongCheckByteStillReadsAsAReply) {
  RequestFeedback(FaultMode::WrongCheckByte);
  ASSERT_TRUE(PumpUntil([this] { return !reads_.empty(); }, 2s));
  ASSERT_EQ(reads_[0].size(), 7U);
  EXPECT_NE(reads_[0][4], kIdleReply[4]);
  const auto reply = ReplyFrame::From(reads_[0]);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->Current(), 10);
}

TEST_F(LinkOnDevice, GarbageBurstArrivesWholeAndTheLinkStaysOpen) {
  RequestFeedback(FaultMode::GarbageBurst);
  ASSERT_TRUE(PumpUntil([this] { return BytesRead() >= 200007; }, 10s));
  PumpFor(50ms);
  EXPECT_EQ(BytesRead(), 200007U);
  const Bytes& last = reads_.back();
  ASSERT_GE(last.size(), 7U);
  EXPECT_TRUE(std::equal(kIdleReply.begin(), kIdleReply.end(), last.end() - 7));
  EXPECT_TRUE(comm_.PortOpen());
  EXPECT_EQ(device_.PendingOutput(), 0U);
}

TEST_F(LinkOnDevice, HangUpClosesTheLinkThroughPortLost) {
  RequestFeedback(FaultMode::HangUp);
  ASSERT_TRUE(PumpUntil([this] { return lost_; }, 3s));
  EXPECT_FALSE(comm_.PortOpen());
  EXPECT_TRUE(reads_.empty());
  EXPECT_FALSE(device_.Open());
}

}  // namespace
}  // namespace korvalen::sim
