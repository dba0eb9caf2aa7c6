#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "panel/panel_observer.h"
#include "panel/panel_view.h"
#include "protocol/frame.h"
#include "serial/port_return.h"
#include "serial/serial_link.h"

namespace korvalen {

// The panel's state and event procedures, one method per procedure of the wiring table. It owns
// PortNumber and FeedbackMode and decides by the link's state, never by a caption (the Stop/GO
// caption is the one place the design keeps state).
class Panel {
 public:
  // The program's exit code when Exit could not deliver the shutdown frame.
  static constexpr int kShutdownNotDelivered = 1;

  Panel(PanelView& view, SerialLink& comm);
  ~Panel();
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void HScroll1_Change();
  void HScroll2_Change();
  void HScroll2_Scroll();
  void HScroll3_Change();
  void HScroll3_Scroll();
  void comm_OnComm();
  // A feedback request's wait for its reply is over.
  void Timer1_Timer();
  // The window closes, which is not Exit: the device hears nothing and the port is let go.
  void WindowClosed();

  // Either may be null (the default): nothing is recorded, a lost port stays closed. Each must
  // outlive the panel or be replaced by null first.
  void SetObserver(PanelObserver* observer) { observer_ = observer; }
  void SetPortReturn(PortReturn* port_return);

  [[nodiscard]] std::uint8_t PortNumber() const { return PortNumber_; }
  [[nodiscard]] std::int16_t FeedbackMode() const { return FeedbackMode_; }
  [[nodiscard]] bool Ended() const { return ended_; }
  // 0, or kShutdownNotDelivered after an Exit whose shutdown frame could not go.
  [[nodiscard]] int ExitCode() const { return shutdown_failed_ ? kShutdownNotDelivered : 0; }

 private:
  // The position and speed sliders' procedure: mirror the value, then send it for the ID.
  void SliderProcedure(Control slider, Control mirror,
                       void (Panel::*send)(std::int16_t id, std::int16_t value));
  [[nodiscard]] std::optional<std::int16_t> DeviceId();
  void SendPosition(std::int16_t id, std::int16_t position);
  void SendSpeed(std::int16_t id, std::int16_t speed);
  void SendFrame(const CommandFrame& frame);
  void Write(const CommandFrame& frame);
  // Whether the link is open; one that closed itself while the caption still says so is a loss
  // not reported yet, reported now.
  [[nodiscard]] bool LinkOpen();
  // The link closes itself on a loss and tells the panel a turn of the event loop later; a
  // procedure that runs in between finds it closed and tells the operator first. True if it did.
  bool ReportUnannouncedLoss(bool reopen = true);
  // Connect's steps on the link, from PortNumber to a caption that says the port is open.
  void OpenPort();
  // `reopen`: a watch, where the panel has one, reopens the port when the same device is back.
  [[nodiscard]] std::string WentAway(bool reopen = true) const;
  void PortLost(const std::string& reason, bool reopen = true);
  // The lost device is back: reopened as the last connect opened it, with nothing sent.
  void PortReturned();
  void ClosePortQuietly();
  // After a close: the frames it dropped before the system took them, to the observer.
  void ReportUnsent();
  // Command1's caption from the link's state: "NotConnect" while open, "Connect" while closed.
  void ShowLinkState();
  // What the reading fields' notes say of the values they show, and whether those are marked.
  void ShowReadingNotes();

  PanelView& view_;
  SerialLink& comm_;
  std::uint8_t PortNumber_ = 0;
  std::int16_t FeedbackMode_ = 0;
  bool ended_ = false;
  bool shutdown_failed_ = false;
  // What Command1 last told the operator: the link is open. A loss is reported only while it holds.
  bool shown_open_ = false;
  // A device that comes back while the box about its loss is open may go again; one box says it.
  bool lost_box_open_ = false;
  // Times of day: when the readings shown came, when the connection they came over closed, and
  // of the feedback requests waited on and left unanswered; each empty while it does not apply.
  using Time = std::optional<std::chrono::milliseconds>;
  Time reading_came_;
  Time reading_connection_closed_;
  Time request_awaited_;
  Time request_unanswered_;
  PanelObserver* observer_ = nullptr;
  PortReturn* port_return_ = nullptr;
};

}  // namespace korvalen
