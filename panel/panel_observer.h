#pragma once

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

  virtual void Sent(const CommandFrame& frame) = 0;
  virtual void Received(std::span<const std::uint8_t> bytes, Reception reception) = 0;
  // `returned`: reopened by the panel itself when a lost device came back.
  virtual void Connected(std::uint8_t port, const std::string& settings, bool returned) = 0;
  virtual void Disconnected() = 0;
  // What the operator read under "Connect error!" after a click of Connect or Exit.
  virtual void ConnectError(const std::string& reason) = 0;
  virtual void Lost(const std::string& reason) = 0;
  // A frame the panel would not build from what the operator typed.
  virtual void Refused(const std::string& text, const std::string& reason) = 0;
};

}  // namespace korvalen
