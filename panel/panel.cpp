#include "panel/panel.h"

#include <chrono>
#include <string>
#include <utility>

#include "panel/number_text.h"

namespace korvalen {
namespace {

constexpr std::int16_t kHighestId = 127;
// A round trip takes at least 8 ms on the line, so a reply that has not come in a second is not
// coming.
constexpr std::chrono::milliseconds kReplyWait{1000};
constexpr char kLineSettings[] = "19200,N,8,2";

// "10:02:03.120"
std::string ClockText(std::chrono::milliseconds since_midnight) {
  // The number's last `digits` digits, zero-padded.
  const auto padded = [](long long number, int digits) {
    return std::to_string(number + (digits == 2 ? 100 : 1000)).substr(1);
  };
  const long long ms = since_midnight.count();
  return padded(ms / 3'600'000, 2) + ':' + padded(ms / 60'000 % 60, 2) + ':' +
         padded(ms / 1000 % 60, 2) + '.' + padded(ms % 1000, 3);
}

std::string Reading(std::uint8_t value) {
  // The blank stands where a sign would be; readings are never negative.
  std::string text(1, ' ');
  text += std::to_string(value);
  return text;
}

}  // namespace

Panel::Panel(PanelView& view, SerialLink& comm) : view_(view), comm_(comm) {
  comm_.SetOnComm([this] { comm_OnComm(); });
  comm_.SetOnPortLost([this] {
    // A loss that a failing call has already reported comes here too; the operator hears it once.
    if (ended_ || !shown_open_) return;
    PortLost(WentAway());
  });
  view_.SetNote(Control::Command1, "not connected");
}

Panel::~Panel() {
  comm_.SetOnComm({});
  comm_.SetOnPortLost({});
  SetPortReturn(nullptr);
}

void Panel::SetPortReturn(PortReturn* port_return) {
  if (port_return_ != nullptr) port_return_->Stop();
  port_return_ = port_return;
}

void Panel::Command1_Click() {
  if (ended_) return;
  // The operator acts: a lost device that comes back from now on is theirs to connect.
  if (port_return_ != nullptr) port_return_->Stop();
  // The click meant a disconnect, and the port has gone already; nothing reopens it behind the
  // operator's back.
  if (ReportUnannouncedLoss(false)) return;
  if (!IsNumber(view_.Text(Control::Text6))) {
    view_.MsgBox("CommPort Numeric");
    return;
  }
  try {
    const Converted<std::uint8_t> port = ToByte(view_.Text(Control::Text6));
    if (!port.Ok()) throw SerialError("the port number must be 0 to 255");
    PortNumber_ = port.value;

    if (comm_.PortOpen()) {
      comm_.SetPortOpen(false);
      ShowLinkState();
      if (observer_ != nullptr) observer_->Disconnected();
      return;
    }
    OpenPort();
    if (observer_ != nullptr) observer_->Connected(PortNumber_, kLineSettings, false);
  } catch (const SerialError& error) {
    // A failed step may still have moved the link (a close that gave up on a held line closes all
    // the same), so the caption is read off the link, never kept.
    ShowLinkState();
    ReportUnsent();
    if (observer_ != nullptr) observer_->ConnectError(error.what());
    view_.MsgBox("Connect error!", error.what());
  }
}

void Panel::Command2_Click() {
  if (ended_) return;
  // A port the caption shows open but the link has closed went away unannounced: the shutdown
  // frame cannot go, which the operator must hear as when the write itself fails.
  if (comm_.PortOpen() || shown_open_) {
    try {
      constexpr char kGone[] = "the serial port went away before the shutdown frame could be sent";
      if (!comm_.PortOpen()) throw SerialError(kGone);
      comm_.SetInBufferCount(0);
      if (!comm_.PortOpen()) throw SerialError(kGone);
      Write(ShutdownFrame());
      comm_.SetPortOpen(false);
      if (observer_ != nullptr) observer_->Disconnected();
    } catch (const SerialError& error) {
      // The device may still be running: the operator must hear that before the panel goes. The
      // program is ending, so nothing else runs while the box is open, the link's own notice of
      // the same loss included.
      ClosePortQuietly();
      ShowLinkState();
      ended_ = true;
      shutdown_failed_ = true;
      ReportUnsent();
      if (observer_ != nullptr) observer_->ConnectError(error.what());
      view_.MsgBox("Connect error!", error.what());
    }
  }
  ended_ = true;
  view_.End();
}

void Panel::Command3_Click() {
  if (ended_) return;
  FeedbackMode_ = 1;
  if (!LinkOpen()) return;
  SendFrame(FeedbackFrame());
  // Timed after the frame has gone, which is what the operator waits on.
  if (!comm_.PortOpen()) return;
  request_awaited_ = view_.TimeOfDay();
  view_.SetTimer1(kReplyWait);
}

void Panel::Command4_Click() {
  if (ended_) return;
  const bool caption_is_stop = view_.Caption(Control::Command4) == "Stop";
  const bool run = !caption_is_stop;
  view_.SetCaption(Control::Command4, caption_is_stop ? "GO" : "Stop");
  FeedbackMode_ = 0;
  if (!LinkOpen()) return;
  SendFrame(RunStopFrame(run));
}

void Panel::HScroll1_Change() {
  if (ended_) return;
  view_.SetText(Control::Text1, std::to_string(view_.Value(Control::HScroll1)));
  // The slider only writes IDs that can be used, so a mark left by a typed one no longer holds.
  view_.SetInvalid(Control::Text1, {});
}

void Panel::HScroll2_Change() {
  SliderProcedure(Control::HScroll2, Control::Text2, &Panel::SendPosition);
}

void Panel::HScroll2_Scroll() {
  SliderProcedure(Control::HScroll2, Control::Text2, &Panel::SendPosition);
}

void Panel::HScroll3_Change() {
  SliderProcedure(Control::HScroll3, Control::Text5, &Panel::SendSpeed);
}

void Panel::HScroll3_Scroll() {
  SliderProcedure(Control::HScroll3, Control::Text5, &Panel::SendSpeed);
}

void Panel::comm_OnComm() {
  if (ended_) return;
  if (const std::int16_t event = comm_.CommEvent(); event != SerialLink::kEventReceive) {
    // Nothing the operator sees changes; a record of the line wants to know.
    if (observer_ != nullptr) observer_->LineEvent(event);
    return;
  }
  if (!LinkOpen()) return;
  std::vector<std::uint8_t> bytes;
  try {
    bytes = comm_.Input();
  } catch (const SerialError& error) {
    PortLost(error.what());
    return;
  }
  const std::optional<ReplyFrame> reply = ReplyFrame::From(bytes);
  const bool shown = reply && FeedbackMode_ == 1;
  if (observer_ != nullptr && !bytes.empty()) {
    using Reception = PanelObserver::Reception;
    observer_->Received(bytes, shown   ? Reception::kShown
                               : reply ? Reception::kNoFeedbackPending
                                       : Reception::kNotAReply);
  }
  if (!shown) return;
  view_.SetText(Control::Text3, Reading(reply->Current()));
  view_.SetText(Control::Text4, Reading(reply->Voltage()));
  view_.SetTimer1({});
  reading_came_ = view_.TimeOfDay();
  reading_connection_closed_.reset();
  request_awaited_.reset();
  request_unanswered_.reset();
  ShowReadingNotes();
}

void Panel::Timer1_Timer() {
  if (ended_ || !request_awaited_) return;
  request_unanswered_ = std::exchange(request_awaited_, {});
  ShowReadingNotes();
}

void Panel::WindowClosed() {
  if (ended_) return;
  ended_ = true;
  const bool open = comm_.PortOpen();
  ClosePortQuietly();
  ReportUnsent();
  if (observer_ != nullptr) observer_->WindowClosed(open);
}

void Panel::SliderProcedure(Control slider, Control mirror,
                            void (Panel::*send)(std::int16_t id, std::int16_t value)) {
  if (ended_) return;
  const std::int16_t value = view_.Value(slider);
  view_.SetText(mirror, std::to_string(value));
  const std::optional<std::int16_t> id = DeviceId();
  if (!id) {
    FeedbackMode_ = 0;
    return;
  }
  (this->*send)(*id, value);
}

std::optional<std::int16_t> Panel::DeviceId() {
  // Byte 1 of a position frame is the ID and 0xE8 and above are command codes, so an ID beyond
  // 127 would turn the frame into a different command.
  const std::string text = view_.Text(Control::Text1);
  const Converted<std::int16_t> id = ToInt16(text);
  if (!id.Ok() || id.value < 0 || id.value > kHighestId) {
    constexpr char kReason[] = "The ID must be a number from 0 to 127; nothing was sent.";
    view_.SetInvalid(Control::Text1, kReason);
    if (observer_ != nullptr) observer_->Refused(text, kReason);
    return std::nullopt;
  }
  view_.SetInvalid(Control::Text1, {});
  return id.value;
}

void Panel::SendPosition(std::int16_t id, std::int16_t position) {
  FeedbackMode_ = 0;
  if (!LinkOpen()) return;
  SendFrame(PositionFrame(id, position));
}

void Panel::SendSpeed(std::int16_t id, std::int16_t speed) {
  FeedbackMode_ = 0;
  if (!LinkOpen()) return;
  SendFrame(SpeedFrame(id, speed));
}

void Panel::SendFrame(const CommandFrame& frame) {
  try {
    // Bytes of an earlier reply must never join the answer to this frame.
    comm_.SetInBufferCount(0);
    // Clearing can find the device gone with the link closed and its notice still to come.
    if (!LinkOpen()) return;
    Write(frame);
  } catch (const SerialError& error) {
    PortLost(error.what());
  }
}

void Panel::Write(const CommandFrame& frame) {
  comm_.SetOutput(frame);
  if (observer_ != nullptr) observer_->Sent(frame, comm_.OutBufferCount());
}

bool Panel::LinkOpen() {
  if (comm_.PortOpen()) return true;
  ReportUnannouncedLoss();
  return false;
}

bool Panel::ReportUnannouncedLoss(bool reopen) {
  if (!shown_open_ || comm_.PortOpen()) return false;
  PortLost(WentAway(reopen), reopen);
  return true;
}

void Panel::OpenPort() {
  comm_.SetCommPort(PortNumber_);
  comm_.SetSettings(kLineSettings);
  comm_.SetPortOpen(true);
  try {
    comm_.SetInBufferCount(0);
  } catch (const SerialError&) {
    // A port left open after a failed connect would be one the operator never asked for.
    ClosePortQuietly();
    throw;
  }
  FeedbackMode_ = 0;
  ShowLinkState();
}

std::string Panel::WentAway(bool reopen) const {
  // With a watch the box goes on to say the panel reopens the port itself.
  return reopen && port_return_ != nullptr ? "the serial port went away"
                                           : "the serial port went away; connect again";
}

void Panel::PortLost(const std::string& reason, bool reopen) {
  const bool watch = reopen && port_return_ != nullptr;
  ClosePortQuietly();
  ShowLinkState();
  ReportUnsent();
  if (observer_ != nullptr) observer_->Lost(reason);
  if (watch) port_return_->Watch([this] { PortReturned(); });
  if (lost_box_open_) return;
  lost_box_open_ = true;
  view_.MsgBox("Connect error!",
               watch ? reason + "; the panel reopens the port when it is back" : reason);
  lost_box_open_ = false;
}

void Panel::PortReturned() {
  if (ended_ || comm_.PortOpen()) return;
  try {
    OpenPort();
  } catch (const SerialError&) {
    // Back but not ready (its rights not set yet, another program probing it): the watch calls
    // again.
    return;
  }
  port_return_->Stop();
  if (observer_ != nullptr) observer_->Connected(PortNumber_, kLineSettings, true);
}

void Panel::ShowLinkState() {
  const bool was_open = std::exchange(shown_open_, comm_.PortOpen());
  view_.SetCaption(Control::Command1, shown_open_ ? "NotConnect" : "Connect");
  if (shown_open_ == was_open) return;
  if (shown_open_) {
    view_.SetNote(Control::Command1, "connected since " + ClockText(view_.TimeOfDay()) +
                                         " to port " + comm_.PortName());
    return;
  }
  view_.SetNote(Control::Command1, "not connected");
  // A reply cannot come over a closed port: a request still waited on is simply dropped.
  view_.SetTimer1({});
  request_awaited_.reset();
  if (reading_came_) reading_connection_closed_ = view_.TimeOfDay();
  ShowReadingNotes();
}

void Panel::ShowReadingNotes() {
  std::string note;
  if (request_unanswered_) {
    note = "no reply to the feedback request of " + ClockText(*request_unanswered_) + "; ";
  }
  if (reading_connection_closed_) {
    note += "from the last connection, closed at " + ClockText(*reading_connection_closed_) + "; ";
  }
  const bool marked = !note.empty();
  note +=
      reading_came_ ? "this value came at " + ClockText(*reading_came_) : "no value has come yet";
  for (const Control field : {Control::Text3, Control::Text4}) {
    if (marked) {
      view_.SetInvalid(field, note);
    } else {
      view_.SetNote(field, note);
    }
  }
}

void Panel::ClosePortQuietly() {
  try {
    if (comm_.PortOpen()) comm_.SetPortOpen(false);
  } catch (const SerialError&) {
    // Already failing; the caller reports the first reason, which is the one to act on.
  }
}

void Panel::ReportUnsent() {
  if (observer_ == nullptr || comm_.PortOpen()) return;
  if (const std::size_t unsent = comm_.OutBufferCount(); unsent > 0) observer_->Unsent(unsent);
}

}  // namespace korvalen
