#include "panel/panel.h"

#include <gtest/gtest.h>

#include <functional>
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
    EXPECT_EQ(r.panel.ExitCode(), 0);
    r.link.Receive(kReply);
    EXPECT_EQ(r.Readings(), call == &P::Command3_Click ? " 42| 12" : "0|0");
  }
}

// Each reading says when it came. A feedback request left a second without a shown reply, or the
// connection it came over closing, marks both fields until a reply is shown; the readings' texts
// stay. While connected, Command1 says which port is held and since when.
TEST(PanelReplies, TheReadingsSayWhenTheyCameAndAreMarkedOnceNoLongerCurrent) {
  Rig r;
  r.view.shown[Control::Text6] = "1";
  const auto request = [&r] { r.panel.Command3_Click(); };
  const auto timer = [&r] { r.panel.Timer1_Timer(); };
  const auto connect = [&r] { r.panel.Command1_Click(); };
  const auto answered = [&r] { r.panel.Command3_Click(), r.link.Receive(kReply); };
  const std::string late = "*no reply to the feedback request of ";
  // Milliseconds after 10:00, step, both readings' note ('*' first if marked) and Command1's;
  // empty: as it was.
  const std::tuple<int, std::function<void()>, std::string, std::string> steps[] = {
      {0, connect, "", "connected since 10:00:00.000 to port 1: /dev/ttyUSB0"},
      {1000, request, "", ""},
      {2000, timer, late + "10:00:01.000; no value has come yet", ""},
      {3045, answered, "this value came at 10:00:03.045", ""},
      {3500, timer, "", ""},
      {4000, request, "", ""},
      {4100, [&r] { r.panel.HScroll2_Change(), r.link.Receive(kReply); }, "", ""},
      {5000, timer, late + "10:00:04.000; this value came at 10:00:03.045", ""},
      {6000, [&r] { r.link.LosePort(); },
       late + "10:00:04.000; from the last connection, closed at 10:00:06.000; this value came "
              "at 10:00:03.045",
       "not connected"},
      {7000, connect, "", "connected since 10:00:07.000 to port 1: /dev/ttyUSB0"},
      {8000, answered, "this value came at 10:00:08.000", ""},
      {9000, [&] { request(), connect(), timer(); },
       "*from the last connection, closed at 10:00:09.000; this value came at 10:00:08.000",
       "not connected"}};
  EXPECT_EQ(r.view.notes[Control::Command1], "not connected");
  std::string readings_note;
  std::string port_note;
  for (const auto& [time, step, readings, port] : steps) {
    SCOPED_TRACE(time);
    r.view.time_of_day = std::chrono::hours(10) + std::chrono::milliseconds(time);
    step();
    if (!readings.empty()) readings_note = readings;
    if (!port.empty()) port_note = port;
    for (const Control field : {Control::Text3, Control::Text4}) {
      EXPECT_EQ((r.view.marks[field].empty() ? "" : "*") + r.view.notes[field], readings_note);
    }
    EXPECT_EQ(r.view.notes[Control::Command1], port_note);
  }
  EXPECT_EQ(r.Readings(), " 42| 12");
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
