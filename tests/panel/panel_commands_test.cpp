#include <gtest/gtest.h>

#include "panel_fixture.h"

namespace korvalen::testing {
namespace {

using Calls = std::vector<std::string>;

TEST_F(PanelTest, IdSliderMirrorsIntoTheIdFieldAndSendsNothing) {
  Connect();
  for (const int value : {1, 0, 64, 127}) {
    view.SetValue(Control::HScroll1, static_cast<std::int16_t>(value));
    panel.HScroll1_Change();
    EXPECT_EQ(view.Text(Control::Text1), std::to_string(value));
  }
  EXPECT_TRUE(link.Calls().empty());
}

TEST(PanelFrames, EachCommandSendsItsFrameByteForByte) {
  struct Case {
    const char* what;
    const char* id_text;
    Control slider;
    std::int16_t value;
    void (Panel::*call)();
    const char* output;
  };
  const Case cases[] = {
      {"position 1500, ID 5", "5", Control::HScroll2, 1500, &Panel::HScroll2_Change,
       "Output 80 05 05 DC 9A 00 00"},
      {"position while dragged", "5", Control::HScroll2, 1500, &Panel::HScroll2_Scroll,
       "Output 80 05 05 DC 9A 00 00"},
      {"lowest position", "0", Control::HScroll2, 600, &Panel::HScroll2_Change,
       "Output 80 00 02 58 26 00 00"},
      {"highest position, highest ID", "127", Control::HScroll2, 2400, &Panel::HScroll2_Change,
       "Output 80 7F 09 60 98 00 00"},
      {"ID rounded half to even down", "2.5", Control::HScroll2, 600, &Panel::HScroll2_Change,
       "Output 80 02 02 58 24 00 00"},
      {"ID rounded half to even up", "3.5", Control::HScroll2, 600, &Panel::HScroll2_Change,
       "Output 80 04 02 58 22 00 00"},
      {"speed 1, ID 3", "3", Control::HScroll3, 1, &Panel::HScroll3_Change,
       "Output 80 E9 03 01 93 00 00"},
      {"speed while dragged", "3", Control::HScroll3, 1, &Panel::HScroll3_Scroll,
       "Output 80 E9 03 01 93 00 00"},
      {"speed 100, ID 127", "127", Control::HScroll3, 100, &Panel::HScroll3_Change,
       "Output 80 E9 7F 64 B4 00 00"},
      {"feedback request", "0", Control::HScroll1, 0, &Panel::Command3_Click,
       "Output 80 E8 00 00 98 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    panel.Command1_Click();
    link.ClearCalls();
    view.SetText(Control::Text1, c.id_text);
    view.SetValue(c.slider, c.value);
    (panel.*c.call)();
    EXPECT_EQ(link.Calls(), (Calls{"InBufferCount 0", c.output}));
  }
}

TEST_F(PanelTest, SlidersMirrorTheirValueBeforeSending) {
  Connect();
  view.SetValue(Control::HScroll2, 2010);
  panel.HScroll2_Scroll();
  EXPECT_EQ(view.Text(Control::Text2), "2010");
  view.SetValue(Control::HScroll3, 7);
  panel.HScroll3_Change();
  EXPECT_EQ(view.Text(Control::Text5), "7");
}

TEST_F(PanelTest, RunStopTogglesAndTheCaptionNamesTheNextCommand) {
  Connect();
  const struct {
    const char* caption_after;
    const char* output;
  } clicks[] = {
      {"GO", "Output 80 EB 00 00 95 00 00"},
      {"Stop", "Output 80 EB 00 01 94 00 00"},
      {"GO", "Output 80 EB 00 00 95 00 00"},
  };
  for (const auto& click : clicks) {
    link.ClearCalls();
    panel.Command4_Click();
    EXPECT_EQ(view.Caption(Control::Command4), click.caption_after);
    EXPECT_EQ(link.Calls(), (Calls{"InBufferCount 0", click.output}));
  }
}

TEST_F(PanelTest, RunStopCompareIsExactSoAnyOtherCaptionSendsRun) {
  Connect();
  view.SetCaption(Control::Command4, "stop");
  panel.Command4_Click();
  EXPECT_EQ(view.Caption(Control::Command4), "Stop");
  EXPECT_EQ(Outputs(), Calls{"Output 80 EB 00 01 94 00 00"});
}

TEST_F(PanelTest, EveryFrameIsPrecededByDiscardingWaitingInput) {
  Connect();
  for (const Procedure& p : kSenders) {
    SCOPED_TRACE(p.name);
    link.ClearCalls();
    link.Receive({0x01, 0x02, 0x03}, 1);  // stray bytes, no receive event
    (panel.*p.call)();
    ASSERT_EQ(link.Calls().size(), 2u);
    EXPECT_EQ(link.Calls()[0], "InBufferCount 0");
    EXPECT_TRUE(link.Calls()[1].starts_with("Output"));
    EXPECT_TRUE(link.Waiting().empty());
  }
}

TEST_F(PanelTest, WithThePortClosedCommandsSendNothingButFieldsStillChange) {
  view.SetValue(Control::HScroll2, 700);
  view.SetValue(Control::HScroll3, 42);
  for (const Procedure& p : kSenders) {
    SCOPED_TRACE(p.name);
    (panel.*p.call)();
  }
  EXPECT_TRUE(link.Calls().empty());
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(view.Text(Control::Text2), "700");
  EXPECT_EQ(view.Text(Control::Text5), "42");
  EXPECT_EQ(view.Caption(Control::Command4), "GO");
}

TEST(PanelFeedbackMode, OnlyTheFeedbackRequestSetsItEveryOtherCommandClearsIt) {
  struct Case {
    Procedure procedure;
    std::int16_t after;
  };
  const Case cases[] = {
      {{"Command3_Click", &Panel::Command3_Click}, 1},
      {{"Command4_Click", &Panel::Command4_Click}, 0},
      {{"HScroll2_Change", &Panel::HScroll2_Change}, 0},
      {{"HScroll2_Scroll", &Panel::HScroll2_Scroll}, 0},
      {{"HScroll3_Change", &Panel::HScroll3_Change}, 0},
      {{"HScroll3_Scroll", &Panel::HScroll3_Scroll}, 0},
      {{"HScroll1_Change", &Panel::HScroll1_Change}, 1},
  };
  for (const bool open : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.procedure.name) + (open ? " port open" : " port closed"));
      RecordingView view;
      RecordingLink link;
      Panel panel(view, link);
      if (open) panel.Command1_Click();
      panel.Command3_Click();
      (panel.*c.procedure.call)();
      EXPECT_EQ(panel.FeedbackMode(), c.after);
    }
  }
}

}  // namespace
}  // namespace korvalen::testing
