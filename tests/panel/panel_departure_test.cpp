#include <gtest/gtest.h>

#include "panel_fixture.h"

namespace korvalen::testing {
namespace {

using Calls = std::vector<std::string>;

TEST(PanelTypedId, AnIdOutsideZeroTo127SendsNothingAndMarksTheField) {
  const char* const bad[] = {"128", "233", "239", "255", "-1", "127.6", "40000", "abc", "", "1e9"};
  for (const char* text : bad) {
    SCOPED_TRACE(std::string("ID \"") + text + "\"");
    for (const Procedure& p : {kSenders[2], kSenders[3], kSenders[4], kSenders[5]}) {
      SCOPED_TRACE(p.name);
      RecordingView view;
      RecordingLink link;
      Panel panel(view, link);
      panel.Command1_Click();
      panel.Command3_Click();
      link.ClearCalls();
      view.SetValue(Control::HScroll2, 900);
      view.SetValue(Control::HScroll3, 9);
      view.SetText(Control::Text1, text);
      (panel.*p.call)();
      EXPECT_TRUE(link.Calls().empty());
      EXPECT_TRUE(view.IsInvalid(Control::Text1));
      EXPECT_TRUE(view.Messages().empty()) << "no modal box for a typed ID";
      EXPECT_EQ(panel.FeedbackMode(), 0);
      EXPECT_EQ(
          view.Text(Control::Text2),
          p.call == &Panel::HScroll2_Change || p.call == &Panel::HScroll2_Scroll ? "900" : "1500");
      EXPECT_EQ(
          view.Text(Control::Text5),
          p.call == &Panel::HScroll3_Change || p.call == &Panel::HScroll3_Scroll ? "9" : "100");
    }
  }
}

TEST_F(PanelTest, TheInvalidMarkClearsOnceAValidIdIsUsed) {
  Connect();
  view.SetText(Control::Text1, "200");
  panel.HScroll2_Change();
  ASSERT_TRUE(view.IsInvalid(Control::Text1));
  view.SetText(Control::Text1, "127.4");
  panel.HScroll3_Scroll();
  EXPECT_FALSE(view.IsInvalid(Control::Text1));
  EXPECT_EQ(Outputs(), Calls{"Output 80 E9 7F 64 B4 00 00"});
}

TEST_F(PanelTest, ABadIdIsMarkedAlsoWhileThePortIsClosed) {
  view.SetText(Control::Text1, "-0.6");
  panel.HScroll2_Change();
  EXPECT_TRUE(view.IsInvalid(Control::Text1));
  view.SetText(Control::Text1, "-0.4");
  panel.HScroll2_Change();
  EXPECT_FALSE(view.IsInvalid(Control::Text1));
}

TEST_F(PanelTest, ALostPortShowsConnectAndTellsTheOperator) {
  Connect();
  link.LosePort();
  EXPECT_EQ(view.Caption(Control::Command1), "Connect");
  ASSERT_EQ(view.Messages().size(), 1u);
  EXPECT_EQ(view.Messages()[0].prompt, "Connect error!");
  EXPECT_FALSE(view.Messages()[0].reason.empty());
  for (const Procedure& p : kSenders) (panel.*p.call)();
  EXPECT_TRUE(link.Calls().empty()) << "nothing is sent until a new connect";
  panel.Command1_Click();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
}

TEST(PanelFailingWrite, IsHandledAsALostPort) {
  for (const char* failing : {"InBufferCount", "Output"}) {
    for (const Procedure& p : kSenders) {
      SCOPED_TRACE(std::string(failing) + " in " + p.name);
      RecordingView view;
      RecordingLink link;
      Panel panel(view, link);
      panel.Command1_Click();
      link.FailOn(failing, "write failed: Input/output error");
      (panel.*p.call)();
      EXPECT_FALSE(link.PortOpen()) << "the panel closes what the link left open";
      EXPECT_EQ(view.Caption(Control::Command1), "Connect");
      ASSERT_EQ(view.Messages().size(), 1u);
      EXPECT_EQ(view.Messages()[0].prompt, "Connect error!");
      EXPECT_EQ(view.Messages()[0].reason, "write failed: Input/output error");
      link.ClearCalls();
      (panel.*p.call)();
      EXPECT_TRUE(link.Calls().empty());
    }
  }
}

TEST_F(PanelTest, AFailingReadIsHandledAsALostPort) {
  Connect();
  link.FailOn("Input", "read failed");
  link.Receive({1, 2, 3, 4, 5, 6, 7});
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "Connect");
  ASSERT_EQ(view.Messages().size(), 1u);
  EXPECT_EQ(view.Messages()[0].reason, "read failed");
}

// The host's link closes itself when clearing the input finds the device gone, and tells the panel
// from its event loop a moment later.
class VanishingLink : public RecordingLink {
 public:
  void SetInBufferCount(int count) override {
    RecordingLink::SetInBufferCount(count);
    if (vanish_) SetOpenWithoutRecord(false);
  }
  void VanishOnNextClear() { vanish_ = true; }

 private:
  bool vanish_ = false;
};

TEST(PanelPortGoneWhileClearing, SendsNothingAndTheLossIsReportedOnce) {
  for (const Procedure& p : kSenders) {
    SCOPED_TRACE(p.name);
    RecordingView view;
    VanishingLink link;
    Panel panel(view, link);
    panel.Command1_Click();
    link.ClearCalls();
    link.VanishOnNextClear();
    (panel.*p.call)();
    EXPECT_EQ(link.Calls(), Calls{"InBufferCount 0"}) << "no write to a port that is gone";
    EXPECT_TRUE(view.Messages().empty()) << "the link's notice is what reports the loss";
    link.LosePort();
    EXPECT_EQ(view.Messages(),
              (std::vector<RecordingView::Message>{
                  {"Connect error!", "the serial port went away; connect again"}}));
    EXPECT_EQ(view.Caption(Control::Command1), "Connect");
  }
}

TEST(PanelPortGoneWhileClearing, ExitSaysTheShutdownFrameWasNotSentOnceAndEnds) {
  RecordingView view;
  VanishingLink link;
  Panel panel(view, link);
  panel.Command1_Click();
  link.ClearCalls();
  link.VanishOnNextClear();
  view.WhileBoxOpen([&link] { link.LosePort(); });
  panel.Command2_Click();
  EXPECT_EQ(link.Calls(), Calls{"InBufferCount 0"});
  EXPECT_EQ(view.Messages(),
            (std::vector<RecordingView::Message>{
                {"Connect error!",
                 "the serial port went away before the shutdown frame could be sent"}}));
  EXPECT_EQ(view.Ends(), 1);
}

}  // namespace
}  // namespace korvalen::testing
