#include "panel/panel.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "recording_link.h"
#include "recording_view.h"

namespace korvalen::testing {
namespace {

using Calls = std::vector<std::string>;
using P = Panel;

const std::vector<std::uint8_t> kReply = {0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};
struct Rig {
  // Connects through the panel itself when given a port, then forgets the calls that took.
  explicit Rig(const char* port = nullptr) {
    if (port == nullptr) return;
    view.shown[Control::Text6] = port;
    panel.Command1_Click();
    link.calls.clear();
  }
  [[nodiscard]] std::string Readings() const {
    return view.shown.at(Control::Text3) + "|" + view.shown.at(Control::Text4);
  }

  RecordingView view;
  RecordingLink link;
  Panel panel{view, link};
};

// A typed ID outside 0..127 sends nothing and marks the field, without a box. A reply is shown
// only after the feedback request: every other command clears FeedbackMode, a refused one too.
TEST(PanelCommands, EachSendsItsFrameRightAfterDiscardingWaitingInput) {
  // ID text, caption of Command4 before and after, procedure, frame (none: refused).
  const std::tuple<const char*, const char*, const char*, void (P::*)(), const char*> cases[] = {
      {"5", "Stop", "Stop", &P::HScroll2_Change, "80 05 05 DC 9A 00 00"},
      {"0", "Stop", "Stop", &P::HScroll2_Scroll, "80 00 05 DC 9F 00 00"},
      {"2.5", "Stop", "Stop", &P::HScroll2_Change, "80 02 05 DC 9D 00 00"},
      {"3", "Stop", "Stop", &P::HScroll3_Change, "80 E9 03 64 30 00 00"},
      {"127", "Stop", "Stop", &P::HScroll3_Scroll, "80 E9 7F 64 B4 00 00"},
      {"128", "Stop", "Stop", &P::HScroll2_Change, ""},
      {"-1", "Stop", "Stop", &P::HScroll2_Scroll, ""},
      {"abc", "Stop", "Stop", &P::HScroll3_Scroll, ""},
      {"0", "Stop", "Stop", &P::Command3_Click, "80 E8 00 00 98 00 00"},
      {"0", "Stop", "GO", &P::Command4_Click, "80 EB 00 00 95 00 00"},
      {"0", "GO", "Stop", &P::Command4_Click, "80 EB 00 01 94 00 00"},
      {"0", "stop", "Stop", &P::Command4_Click, "80 EB 00 01 94 00 00"},  // an exact compare
      {"0", "Stop", "Stop", &P::Command2_Click, "80 EF 00 00 91 00 00"}};
  for (const auto& [id, caption, caption_after, call, frame] : cases) {
    SCOPED_TRACE(std::string(frame) + " from " + caption + " with ID " + id);
    Rig r("1");
    r.panel.Command3_Click();
    r.link.calls.clear();
    r.view.shown[Control::Text1] = id;
    r.view.shown[Control::Command4] = caption;
    r.link.waiting = {0x01, 0x02};
    (r.panel.*call)();
    const bool exit = call == &P::Command2_Click;
    const bool sent = *frame != '\0';
    Calls expected = {"InBufferCount 0", std::string("Output ") + frame};
    if (exit) expected.push_back("Close");
    EXPECT_EQ(r.link.calls, sent ? expected : Calls{});
    EXPECT_EQ(r.link.waiting.empty(), sent);
    EXPECT_EQ(r.view.marks[Control::Text1].empty(), sent);
    EXPECT_TRUE(r.view.messages.empty());
    EXPECT_EQ(r.view.shown[Control::Command4], caption_after);
    EXPECT_EQ(r.view.ends, exit ? 1 : 0);
    r.link.Receive(kReply);
    EXPECT_EQ(r.Readings(), call == &P::Command3_Click ? " 42| 12" : "0|0");
  }
}

TEST(PanelEnd, ADestroyedPanelLeavesNoHandlerOnTheLink) {
  RecordingView view;
  RecordingLink link;
  { const Panel panel(view, link); }
  EXPECT_FALSE(link.on_comm);
  EXPECT_FALSE(link.on_lost);
}

}  // namespace
}  // namespace korvalen::testing
