#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"

namespace korvalen::testing {
namespace {

using Lines = std::vector<std::string>;

const std::vector<std::uint8_t> kReply = {0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};

// What the panel reported and what it asked of the watch for a lost port, a line each.
struct Recorder : PanelObserver, PortReturn {
  void Sent(const CommandFrame& frame) override { lines.push_back("sent " + ToHex(frame)); }
  void Received(std::span<const std::uint8_t> bytes, Reception reception) override {
    const char* const kinds[] = {"shown", "no request", "not a reply"};
    lines.push_back("received " + ToHex(bytes) + " " + kinds[static_cast<int>(reception)]);
  }
  void Connected(std::uint8_t port, const std::string& settings, bool returned) override {
    lines.push_back((returned ? "reconnected " : "connected ") + std::to_string(port) + " " +
                    settings);
  }
  void Disconnected() override { lines.push_back("disconnected"); }
  void ConnectError(const std::string& reason) override { lines.push_back("error " + reason); }
  void Lost(const std::string& reason) override { lines.push_back("lost " + reason); }
  void Refused(const std::string& text, const std::string& /*reason*/) override {
    lines.push_back("refused " + text);
  }
  void Watch(std::function<void()> on_back) override {
    lines.push_back("watch");
    back = std::move(on_back);
  }
  void Stop() override { back = {}; }

  Lines lines;
  std::function<void()> back;  // set while the panel waits for the lost device
};

struct Rig {
  Rig() {
    panel.SetObserver(&recorder);
    panel.SetPortReturn(&recorder);
  }
  void Connect(const char* port = "1") {
    view.shown[Control::Text6] = port;
    panel.Command1_Click();
  }

  Recorder recorder;  // before the panel, which stops the watch as it goes
  RecordingView view;
  RecordingLink link;
  Panel panel{view, link};
};

TEST(PanelObserver, HearsEveryFrameReadingAndLinkEventInTheOrderTheyHappened) {
  Rig r;
  r.Connect("3");
  r.panel.Command3_Click();
  r.link.Receive(kReply);
  r.panel.HScroll2_Change();
  r.link.Receive(kReply);
  r.link.Receive({0x80, 0, 0, 0, 0x80, 0x2A, 0x0C, 0x55});
  r.link.Receive({});            // a receive event that finds nothing
  r.link.Receive(kReply, 1004);  // a line event
  r.view.shown[Control::Text1] = "200";
  r.panel.HScroll3_Change();
  r.Connect("3");            // disconnects
  r.panel.Command3_Click();  // to a closed port: nothing goes
  r.link.failing = {"Open"};
  r.Connect("3");
  r.link.failing.clear();
  r.Connect("3");
  r.panel.Command2_Click();
  EXPECT_EQ(r.recorder.lines,
            (Lines{"connected 3 19200,N,8,2", "sent 80 E8 00 00 98 00 00",
                   "received 80 00 00 00 80 2A 0C shown", "sent 80 00 05 DC 9F 00 00",
                   "received 80 00 00 00 80 2A 0C no request",
                   "received 80 00 00 00 80 2A 0C 55 not a reply", "refused 200", "disconnected",
                   "error failed", "connected 3 19200,N,8,2", "sent 80 EF 00 00 91 00 00",
                   "disconnected"}));
}

// Only a port that went by itself is waited for: the operator's disconnect, a failed connect and
// Exit are the operator's doing.
TEST(PanelReconnect, OnlyALostPortIsWaitedFor) {
  struct Case {
    const char* what;
    void (*close)(Rig&);
    bool waits;
  };
  const Case cases[] = {
      {"lost", [](Rig& r) { r.link.LosePort(); }, true},
      {"write failed",
       [](Rig& r) {
         r.link.failing = {"Output"};
         r.panel.Command3_Click();
       },
       true},
      {"operator's disconnect", [](Rig& r) { r.Connect(); }, false},
      {"failed connect",
       [](Rig& r) {
         r.Connect();
         r.link.failing = {"Open"};
         r.Connect();
       },
       false},
      {"exit", [](Rig& r) { r.panel.Command2_Click(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig r;
    r.Connect();
    c.close(r);
    EXPECT_FALSE(r.link.open);
    EXPECT_EQ(static_cast<bool>(r.recorder.back), c.waits);
  }
}

TEST(PanelReconnect, TheReturnReopensAsTheLastConnectDidAndSendsNothing) {
  Rig r;
  r.Connect("3");
  r.panel.Command3_Click();
  r.link.LosePort();
  ASSERT_TRUE(r.recorder.back);
  r.view.shown[Control::Text6] = "7";  // typed, not clicked: the panel still means port 3

  // Back but not ready: no box, still waiting.
  r.link.failing = {"Open"};
  r.recorder.back();
  EXPECT_EQ(r.view.shown[Control::Command1], "Connect");
  EXPECT_TRUE(r.recorder.back);
  r.link.failing.clear();

  r.link.calls.clear();
  r.recorder.back();
  EXPECT_EQ(r.link.calls, (Lines{"CommPort 3", "Settings 19200,N,8,2", "Open", "InBufferCount 0"}));
  EXPECT_EQ(r.view.shown[Control::Command1], "NotConnect");
  EXPECT_EQ(r.panel.FeedbackMode(), 0);
  EXPECT_FALSE(r.recorder.back) << "the watch stops once the port is open again";
  EXPECT_EQ(r.view.messages.size(), 1u) << "only the loss was told";
  EXPECT_EQ(r.recorder.lines.back(), "reconnected 3 19200,N,8,2");
}

TEST(PanelReconnect, AClickOnConnectWhileWaitingStopsTheWaiting) {
  for (const char* typed : {"1", "abc", "300"}) {
    SCOPED_TRACE(typed);
    Rig r;
    r.Connect();
    r.link.LosePort();
    r.view.shown[Control::Text6] = typed;
    r.panel.Command1_Click();
    EXPECT_FALSE(r.recorder.back);
  }
}

// The device comes back while the box about its loss is open, goes again and comes back again:
// the operator closes one box and finds the port open.
TEST(PanelReconnect, TheLostPortBoxIsOneAtATime) {
  Rig r;
  r.Connect();
  r.view.while_box_open = [&r] {
    r.recorder.back();
    r.link.LosePort();
    r.recorder.back();
  };
  r.link.LosePort();
  EXPECT_EQ(r.view.messages.size(), 1u);
  EXPECT_TRUE(r.link.open);
  EXPECT_EQ(r.view.shown[Control::Command1], "NotConnect");
}

}  // namespace
}  // namespace korvalen::testing
