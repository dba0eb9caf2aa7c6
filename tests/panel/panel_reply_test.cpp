#include <gtest/gtest.h>

#include "panel_fixture.h"

namespace korvalen::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kReply = {0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};

class ReplyTest : public PanelTest {
 protected:
  void SetUp() override {
    Connect();
    panel.Command3_Click();
  }
  [[nodiscard]] std::pair<std::string, std::string> Readings() const {
    return {view.Text(Control::Text3), view.Text(Control::Text4)};
  }
  using Pair = std::pair<std::string, std::string>;
};

TEST_F(ReplyTest, SevenBytesAfterAFeedbackRequestShowWithALeadingBlank) {
  link.Receive(kReply);
  EXPECT_EQ(Readings(), (Pair{" 42", " 12"}));
}

TEST_F(ReplyTest, ReadingsSpanTheWholeByteRange) {
  link.Receive({0x80, 0, 0, 0, 0x80, 0x00, 0xFF});
  EXPECT_EQ(Readings(), (Pair{" 0", " 255"}));
}

TEST_F(ReplyTest, HeaderAndCheckByteAreNotExamined) {
  link.Receive({0x00, 0x11, 0x22, 0x33, 0x44, 0x05, 0x06});
  EXPECT_EQ(Readings(), (Pair{" 5", " 6"}));
}

TEST_F(ReplyTest, ReadsOfAnyOtherLengthAreDrainedAndDropped) {
  for (const std::size_t size : {1u, 6u, 8u, 14u}) {
    SCOPED_TRACE(size);
    Bytes bytes(size, 0x33);
    link.Receive(bytes);
    EXPECT_TRUE(link.Waiting().empty());
    EXPECT_EQ(Readings(), (Pair{"0", "0"}));
  }
}

TEST_F(ReplyTest, AReplyAfterAStrayByteReadIsShownWhileStillRequested) {
  Bytes eight = kReply;
  eight.push_back(0x01);
  link.Receive(eight);
  EXPECT_EQ(Readings(), (Pair{"0", "0"}));
  link.Receive(kReply);
  EXPECT_EQ(Readings(), (Pair{" 42", " 12"}));
}

TEST_F(ReplyTest, EveryFurtherReplyOverwritesWhileNoCommandCameBetween) {
  link.Receive(kReply);
  link.Receive({0x80, 0, 0, 0, 0x80, 0x01, 0x02});
  EXPECT_EQ(Readings(), (Pair{" 1", " 2"}));
}

TEST_F(ReplyTest, AReplyAfterAnyOtherCommandIsDropped) {
  for (const Procedure& p : kSenders) {
    if (p.call == &Panel::Command3_Click) continue;
    SCOPED_TRACE(p.name);
    panel.Command3_Click();
    (panel.*p.call)();
    link.Receive(kReply);
    EXPECT_TRUE(link.Waiting().empty());
    EXPECT_EQ(Readings(), (Pair{"0", "0"}));
  }
}

TEST_F(ReplyTest, AReplyAfterAReconnectIsDropped) {
  panel.Command1_Click();
  panel.Command1_Click();
  ASSERT_TRUE(link.PortOpen());
  link.Receive(kReply);
  EXPECT_EQ(Readings(), (Pair{"0", "0"}));
}

TEST_F(ReplyTest, OtherEventCodesReadNothing) {
  for (const int event : {0, 1, 3, 1001, -1}) {
    SCOPED_TRACE(event);
    link.Receive(kReply, static_cast<std::int16_t>(event));
  }
  EXPECT_EQ(link.InputReads(), 0);
  EXPECT_EQ(Readings(), (Pair{"0", "0"}));
}

TEST_F(ReplyTest, AReceiveEventWithNothingWaitingChangesNothing) {
  link.Receive({});
  EXPECT_EQ(link.InputReads(), 1);
  EXPECT_EQ(Readings(), (Pair{"0", "0"}));
}

TEST_F(ReplyTest, AReplyDuringTheConnectMessageBoxIsStillShown) {
  view.WhileBoxOpen([this] { link.Receive(kReply); });
  view.SetText(Control::Text6, "abc");
  panel.Command1_Click();
  EXPECT_EQ(Readings(), (Pair{" 42", " 12"}));
  EXPECT_EQ(panel.FeedbackMode(), 1);
}

}  // namespace
}  // namespace korvalen::testing
