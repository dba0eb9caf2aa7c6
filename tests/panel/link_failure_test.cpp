// What the operator is told when the link fails inside the connect and exit buttons' procedures.
#include <termios.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"
#include "serial/host_serial_link.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::testing {
namespace {

using namespace std::chrono_literals;

// Closes the port even as the close fails, as the host's link does when a held line will not
// drain within its limit.
class GivingUpLink : public RecordingLink {
 public:
  void SetPortOpen(bool open) override {
    if (!open && PortOpen()) {
      SetOpenWithoutRecord(false);
      throw SerialError("closed /dev/ttyUSB0 with 7 bytes unsent: the line took none for 2 s");
    }
    RecordingLink::SetPortOpen(open);
  }
};

TEST(FailedDisconnect, CaptionSaysThePortIsClosedAndTheNextClickConnects) {
  RecordingView view;
  GivingUpLink link;
  Panel panel(view, link);
  panel.Command1_Click();
  ASSERT_EQ(view.Caption(Control::Command1), "NotConnect");

  panel.Command1_Click();
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "Connect");
  EXPECT_EQ(view.Messages(),
            (std::vector<RecordingView::Message>{
                {"Connect error!",
                 "closed /dev/ttyUSB0 with 7 bytes unsent: the line took none for 2 s"}}));

  panel.Command1_Click();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
}

TEST(ExitOnARealLine, TheDeviceHangingUpBeforeTheShutdownFrameLeftIsToldBeforeTheEnd) {
  sim::PseudoTerminal pty;
  HostSerialLink comm(pty.Table());
  RecordingView view;
  Panel panel(view, comm);
  panel.Command1_Click();
  ASSERT_TRUE(comm.PortOpen());
  // The device stops taking bytes, so the shutdown frame waits in the close's drain; there the
  // line goes away.
  ASSERT_EQ(::tcflow(pty.Slave(), TCOOFF), 0);
  std::thread device([&pty] {
    std::this_thread::sleep_for(100ms);
    pty.HangUp();
  });
  panel.Command2_Click();
  device.join();

  EXPECT_EQ(view.Ends(), 1);
  ASSERT_EQ(view.Messages().size(), 1u);
  EXPECT_EQ(view.Messages()[0].prompt, "Connect error!");
  EXPECT_NE(view.Messages()[0].reason.find(pty.SlavePath() + " went away"), std::string::npos)
      << view.Messages()[0].reason;
}

}  // namespace
}  // namespace korvalen::testing
