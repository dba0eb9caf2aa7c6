#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocol/frame.h"

namespace korvalen {

// What the panel did on the line, as it did it, for a record outside the window (a traffic log).
// Called from inside the event procedures, after the frame has gone: an observer must return at
// once and leave any slow work (a file) to later.
class PanelObserver {
 public:
  // What became of the bytes one receive event read.
  enum class Reception { kShown, kNoFeedbackPending, kNotAReply };

  virtual ~PanelObserver() = default;

  // `held`: bytes of the frames sent so far that the link still holds because the line would not
  // take them yet, this frame's last; 0 when the system has taken them all.
  virtual void Sent(const CommandFrame& frame, std::size_t held) = 0;
  virtual void Received(std::span<const std::uint8_t> bytes, Reception reception) = 0;
  // Any event of the link but a receive: the held bytes all taken (kEventSend), a line error.
  virtual void LineEvent(std::int16_t code) = 0;
  // A close dropped the last `bytes` bytes the link held: the frames they belong to never went.
  virtual void Unsent(std::size_t bytes) = 0;
  // `returned`: reopened by the panel itself when a lost device came back.
  virtual void Connected(std::uint8_t port, const std::string& settings, bool returned) = 0;
  virtual void Disconnected() = 0;
  // What the operator read under "Connect error!" after a click of Connect or Exit.
  virtual void ConnectError(const std::string& reason) = 0;
  virtual void Lost(const std::string& reason) = 0;
  // The window closed: the program ends without a shutdown frame, letting go of the port if open.
  virtual void WindowClosed(bool port_released) = 0;
  // A frame the panel would not build from what the operator typed.
  virtual void Refused(const std::string& text, const std::string& reason) = 0;
};

}  // namespace korvalen
