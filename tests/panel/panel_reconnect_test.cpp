#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"

namespace korvalen::testing {
namespace {

// The host's watch for a lost port: holds what the panel asks it to call when the device is back.
struct FakeReturn : PortReturn {
  void Watch(std::function<void()> on_back) override { back = std::move(on_back); }
  void Stop() override { back = {}; }
  std::function<void()> back;
};

// Only a port that went by itself is waited for: a disconnect, a failed connect, Exit and a click
// on Connect while waiting are the operator's doing. A device that comes back while the box about
// its loss is open, goes again and comes back again makes one box, and the port is reopened as the
// last connect opened it, with nothing sent.
TEST(PanelReconnect, OnlyALostPortIsWaitedForAndOneBoxTellsOfItWhateverHappensMeanwhile) {
  FakeReturn watch;  // before the panel, which stops the watch as it goes
  RecordingView view;
  RecordingLink link;
  Panel panel(view, link);
  panel.SetPortReturn(&watch);
  panel.Command1_Click();
  panel.Command1_Click();
  EXPECT_FALSE(watch.back) << "after a disconnect";
  link.failing = {"Open"};
  panel.Command1_Click();
  link.failing.clear();
  EXPECT_FALSE(watch.back) << "after a failed connect";

  panel.Command1_Click();
  view.messages.clear();
  view.while_box_open = [&] {
    watch.back();
    link.LosePort();
    view.shown[Control::Text6] = std::string("7");  // typed, not clicked
    link.calls.clear();
    watch.back();
  };
  link.LosePort();
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(link.calls, (std::vector<std::string>{"CommPort 1", "Settings 19200,N,8,2", "Open",
                                                  "InBufferCount 0"}));
  EXPECT_EQ(view.shown[Control::Command1], "NotConnect");
  EXPECT_FALSE(watch.back) << "the waiting ends with the port open";

  view.while_box_open = {};
  link.LosePort();
  ASSERT_TRUE(watch.back);
  view.shown[Control::Text6] = std::string("abc");
  panel.Command1_Click();
  EXPECT_FALSE(watch.back);
  view.shown[Control::Text6] = std::string("1");
  panel.Command1_Click();
  // Gone with its notice still to come: the click meant a disconnect, so nothing is waited for,
  // and the box does not promise it.
  link.open = false;
  panel.Command1_Click();
  EXPECT_FALSE(watch.back);
  EXPECT_EQ(view.messages.back(), "Connect error!|the serial port went away; connect again");
  panel.Command2_Click();
  EXPECT_FALSE(watch.back);
}

}  // namespace
}  // namespace korvalen::testing
