// Random bytes in random chunks, mixed with feedback requests and slider moves, into the panel
// through a recording link: a reading is shown only for a receive event that finds exactly seven
// bytes waiting while a feedback request is the latest command, and then exactly once.
#include <cstdint>
#include <vector>

#include "panel/panel.h"
#include "reading_view.h"
#include "tests/panel/recording_link.h"

using korvalen::Control;
using korvalen::Panel;
using korvalen::testing::ExpectedReading;
using korvalen::testing::ReadingView;
using korvalen::testing::RecordingLink;
using korvalen::testing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadingView view;
  RecordingLink link;
  Panel panel(view, link);
  view.SetText(Control::Text6, "1");
  panel.Command1_Click();
  Require(link.PortOpen());

  std::vector<std::uint8_t> waiting;  // what the link holds, by our own count
  bool feedback = false;
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t op = data[i++];
    switch (op % 5) {
      case 0:
        panel.Command3_Click();
        feedback = true;
        waiting.clear();  // every send discards waiting input first
        break;
      case 1:
        panel.HScroll2_Scroll();
        feedback = false;
        waiting.clear();  // every send discards waiting input first
        break;
      default: {
        const std::size_t length = std::min<std::size_t>(op / 5 % 16, size - i);
        std::vector<std::uint8_t> chunk(data + i, data + i + length);
        i += length;
        const bool receive_event = op % 5 != 4;
        const std::string current_before = view.Text(Control::Text3);
        const std::string voltage_before = view.Text(Control::Text4);
        view.ResetCounts();
        waiting.insert(waiting.end(), chunk.begin(), chunk.end());
        link.Receive(chunk, receive_event ? RecordingLink::kEventReceive : std::int16_t{1004});
        if (!receive_event) {
          Require(view.current_writes == 0 && view.voltage_writes == 0);
          Require(link.Waiting() == waiting);  // other events leave the bytes alone
          break;
        }
        Require(link.Waiting().empty());  // a receive event drains everything
        const bool shown = feedback && waiting.size() == 7;
        Require(view.current_writes == (shown ? 1 : 0));
        Require(view.voltage_writes == (shown ? 1 : 0));
        if (shown) {
          Require(view.Text(Control::Text3) == ExpectedReading(waiting[5]));
          Require(view.Text(Control::Text4) == ExpectedReading(waiting[6]));
        } else {
          Require(view.Text(Control::Text3) == current_before);
          Require(view.Text(Control::Text4) == voltage_before);
        }
        waiting.clear();
        break;
      }
    }
    Require(panel.FeedbackMode() == (feedback ? 1 : 0));
  }
  return 0;
}
