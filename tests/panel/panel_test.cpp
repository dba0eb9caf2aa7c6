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

const std::vector<std::uint8_t> kReply = {0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};

struct Rig {
  [[nodiscard]] std::string Readings() const {
    return view.shown.at(Control::Text3) + "|" + view.shown.at(Control::Text4);
  }

  RecordingView view;
  RecordingLink link;
  Panel panel{view, link};
};

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
