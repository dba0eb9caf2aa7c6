#include <gtest/gtest.h>

#include "panel/number_text.h"
#include "panel_fixture.h"

namespace korvalen::testing {
namespace {

using Message = RecordingView::Message;
using Calls = std::vector<std::string>;

TEST_F(PanelTest, StartsWithNothingSentAndBothVariablesZero) {
  EXPECT_TRUE(link.Calls().empty());
  EXPECT_EQ(panel.PortNumber(), 0);
  EXPECT_EQ(panel.FeedbackMode(), 0);
  EXPECT_TRUE(link.HasOnComm());
  EXPECT_TRUE(link.HasOnPortLost());
}

TEST(PanelLifetime, DestroyedPanelLeavesNoHandlerOnTheLink) {
  RecordingView view;
  RecordingLink link;
  { Panel panel(view, link); }
  EXPECT_FALSE(link.HasOnComm());
  EXPECT_FALSE(link.HasOnPortLost());
}

TEST_F(PanelTest, ConnectWritesPortSettingsOpenAndClearInThatOrder) {
  view.SetText(Control::Text6, "4");
  panel.Command1_Click();
  EXPECT_EQ(link.Calls(),
            (Calls{"CommPort 4", "Settings 19200,N,8,2", "PortOpen true", "InBufferCount 0"}));
  EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
  EXPECT_TRUE(view.Messages().empty());
}

TEST(PanelPortText, ConnectsOrComplainsAsTheTextDeserves) {
  struct Case {
    const char* text;
    bool opens;
    std::uint8_t port_number;
    const char* message;
  };
  const Case cases[] = {
      {"1", true, 1, nullptr},
      {"0", true, 0, nullptr},
      {"255", true, 255, nullptr},
      {"2.5", true, 2, nullptr},
      {"3.5", true, 4, nullptr},
      {" 7 ", true, 7, nullptr},
      {"1e1", true, 10, nullptr},
      {"300", false, 0, "Connect error!"},
      {"-1", false, 0, "Connect error!"},
      {"255.5", false, 0, "Connect error!"},
      {"abc", false, 0, "CommPort Numeric"},
      {"", false, 0, "CommPort Numeric"},
      {"1,5", false, 0, "CommPort Numeric"},
      {"0x10", false, 0, "CommPort Numeric"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("Text6 \"") + c.text + "\"");
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    view.SetText(Control::Text6, c.text);
    panel.Command1_Click();
    EXPECT_EQ(link.PortOpen(), c.opens);
    EXPECT_EQ(panel.PortNumber(), c.port_number);
    EXPECT_EQ(view.Caption(Control::Command1), c.opens ? "NotConnect" : "Connect");
    if (c.message == nullptr) {
      EXPECT_TRUE(view.Messages().empty());
    } else {
      ASSERT_EQ(view.Messages().size(), 1u);
      EXPECT_EQ(view.Messages()[0].prompt, c.message);
    }
    if (!c.opens) {
      EXPECT_TRUE(link.Calls().empty()) << "nothing may reach the link";
    }
  }
}

TEST_F(PanelTest, NotANumberHasNoReasonLineButAnOutOfRangePortHasOne) {
  view.SetText(Control::Text6, "abc");
  panel.Command1_Click();
  view.SetText(Control::Text6, "300");
  panel.Command1_Click();
  ASSERT_EQ(view.Messages().size(), 2u);
  EXPECT_EQ(view.Messages()[0], (Message{"CommPort Numeric", ""}));
  EXPECT_EQ(view.Messages()[1].prompt, "Connect error!");
  EXPECT_NE(view.Messages()[1].reason.find("0 to 255"), std::string::npos);
}

TEST_F(PanelTest, WhileConnectedAnyPortNumberDisconnectsAndIsStored) {
  for (const char* text : {"0", "9", "255", "2.5"}) {
    SCOPED_TRACE(text);
    Connect();
    view.SetText(Control::Text6, text);
    panel.Command1_Click();
    EXPECT_EQ(link.Calls(), Calls{"PortOpen false"});
    EXPECT_FALSE(link.PortOpen());
    EXPECT_EQ(view.Caption(Control::Command1), "Connect");
    EXPECT_EQ(panel.PortNumber(), ToByte(text).value);
    EXPECT_TRUE(view.Messages().empty());
  }
}

TEST_F(PanelTest, WhileConnectedABadPortTextLeavesThePortOpen) {
  Connect("6");
  for (const char* text : {"abc", "300", "-1"}) {
    SCOPED_TRACE(text);
    view.SetText(Control::Text6, text);
    panel.Command1_Click();
    EXPECT_TRUE(link.PortOpen());
    EXPECT_TRUE(link.Calls().empty());
    EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
    EXPECT_EQ(panel.PortNumber(), 6);
  }
  ASSERT_EQ(view.Messages().size(), 3u);
  EXPECT_EQ(view.Messages()[0].prompt, "CommPort Numeric");
  EXPECT_EQ(view.Messages()[1].prompt, "Connect error!");
  EXPECT_EQ(view.Messages()[2].prompt, "Connect error!");
}

TEST(PanelConnectFailure, EachFailingStepReportsTheLinksReasonAndLeavesThePortClosed) {
  struct Case {
    const char* failing;
    Calls calls;
  };
  const Case cases[] = {
      {"CommPort", {"CommPort 3"}},
      {"Settings", {"CommPort 3", "Settings 19200,N,8,2"}},
      {"Open", {"CommPort 3", "Settings 19200,N,8,2", "PortOpen true"}},
      // The port opened before the failure, so it is closed again.
      {"InBufferCount",
       {"CommPort 3", "Settings 19200,N,8,2", "PortOpen true", "InBufferCount 0",
        "PortOpen false"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    panel.Command3_Click();
    link.FailOn(c.failing, "busy: another program has the port");
    view.SetText(Control::Text6, "3");
    panel.Command1_Click();
    EXPECT_EQ(link.Calls(), c.calls);
    EXPECT_FALSE(link.PortOpen());
    EXPECT_EQ(view.Caption(Control::Command1), "Connect");
    EXPECT_EQ(panel.PortNumber(), 3) << "the stored number stays";
    EXPECT_EQ(panel.FeedbackMode(), 1) << "only a connect resets it";
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0],
              (Message{"Connect error!", "busy: another program has the port"}));
  }
}

TEST_F(PanelTest, FailingDisconnectKeepsCaptionAndReportsTheReason) {
  Connect();
  link.FailOn("Close", "cannot close");
  panel.Command1_Click();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
  ASSERT_EQ(view.Messages().size(), 1u);
  EXPECT_EQ(view.Messages()[0], (Message{"Connect error!", "cannot close"}));
}

TEST_F(PanelTest, ReconnectAfterAFailedConnectWorks) {
  link.FailOn("Open", "no such port");
  panel.Command1_Click();
  link.ClearFailures();
  link.ClearCalls();
  panel.Command1_Click();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
}

TEST_F(PanelTest, ConnectResetsFeedbackModeButDisconnectDoesNot) {
  panel.Command3_Click();
  ASSERT_EQ(panel.FeedbackMode(), 1);
  Connect();
  EXPECT_EQ(panel.FeedbackMode(), 0);
  panel.Command3_Click();
  panel.Command1_Click();
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(panel.FeedbackMode(), 1);
}

TEST_F(PanelTest, ExitWhileDisconnectedSendsNothingAndEnds) {
  panel.Command2_Click();
  EXPECT_TRUE(link.Calls().empty());
  EXPECT_EQ(view.Ends(), 1);
  EXPECT_TRUE(panel.Ended());
}

TEST_F(PanelTest, ExitWhileConnectedSendsShutdownClosesAndEnds) {
  Connect();
  panel.Command3_Click();
  link.ClearCalls();
  panel.Command2_Click();
  EXPECT_EQ(link.Calls(),
            (Calls{"InBufferCount 0", "Output 80 EF 00 00 91 00 00", "PortOpen false"}));
  EXPECT_EQ(view.Ends(), 1);
  EXPECT_EQ(panel.FeedbackMode(), 1) << "exit leaves it alone";
  EXPECT_TRUE(view.Messages().empty());
}

TEST_F(PanelTest, ExitWhoseShutdownWriteFailsTellsTheOperatorAndStillEnds) {
  Connect();
  link.FailOn("Output", "write failed: device unplugged");
  panel.Command2_Click();
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(view.Ends(), 1);
  ASSERT_EQ(view.Messages().size(), 1u);
  EXPECT_EQ(view.Messages()[0], (Message{"Connect error!", "write failed: device unplugged"}));
}

TEST_F(PanelTest, AfterEndNoProcedureDoesAnything) {
  Connect();
  panel.Command2_Click();
  link.ClearCalls();
  link.SetOpenWithoutRecord(true);  // even a link that claims to be open hears nothing
  const RecordingView before = view;
  const std::vector<Procedure> all = {
      {"Command1_Click", &Panel::Command1_Click},   {"Command2_Click", &Panel::Command2_Click},
      {"Command3_Click", &Panel::Command3_Click},   {"Command4_Click", &Panel::Command4_Click},
      {"HScroll1_Change", &Panel::HScroll1_Change}, {"HScroll2_Change", &Panel::HScroll2_Change},
      {"HScroll2_Scroll", &Panel::HScroll2_Scroll}, {"HScroll3_Change", &Panel::HScroll3_Change},
      {"HScroll3_Scroll", &Panel::HScroll3_Scroll}, {"comm_OnComm", &Panel::comm_OnComm},
  };
  view.SetValue(Control::HScroll1, 9);
  for (const Procedure& p : all) {
    SCOPED_TRACE(p.name);
    (panel.*p.call)();
  }
  link.Receive({0x80, 0, 0, 0, 0x80, 0x2A, 0x0C});
  link.LosePort();
  EXPECT_TRUE(link.Calls().empty());
  EXPECT_EQ(link.InputReads(), 0);
  EXPECT_EQ(view.Text(Control::Text1), "0");
  EXPECT_EQ(view.Caption(Control::Command4), "Stop");
  EXPECT_EQ(view.Ends(), 1);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(panel.FeedbackMode(), 0);
  view.SetValue(Control::HScroll1, 0);
  EXPECT_TRUE(view == before);
}

}  // namespace
}  // namespace korvalen::testing
