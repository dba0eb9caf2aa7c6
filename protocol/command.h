#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "protocol/frame.h"

namespace korvalen {

// What a command frame asks of the device, read back from its bytes. The one reading of a frame
// that the --log writer, the simulated device and the tests share, so that a frame cannot mean
// one thing in the log and another to the device.
struct Command {
  enum class Kind { kPosition, kSpeed, kFeedback, kRun, kStop, kShutdown, kUnknown };

  Kind kind = Kind::kUnknown;
  int id = 0;     // kPosition and kSpeed: the device ID
  int value = 0;  // kPosition: the set-point; kSpeed: the speed

  friend bool operator==(const Command&, const Command&) = default;
};

// Device IDs run from 0 to 127: byte 1 below 0x80 is a position's ID, a code from 0xE8 up is a
// command.
inline constexpr int kDeviceCount = 128;

// True when byte 0 is the header and byte 4 the check byte of bytes 0..3.
[[nodiscard]] bool IsWellFormed(std::span<const std::uint8_t, kFrameSize> frame);

// A frame whose content names nothing the device knows (a byte 1 from 0x80 to 0xE7 or an unused
// code, a run flag other than 0 or 1, a speed for an ID above 127, a request with parameters)
// reads as kUnknown. The check byte is not examined here: see IsWellFormed.
[[nodiscard]] Command ReadCommand(const CommandFrame& frame);

// "position id 0 1500", "speed id 3 1", "feedback request", "run", "stop", "shutdown",
// "unknown command".
[[nodiscard]] std::string Describe(const Command& command);

}  // namespace korvalen
