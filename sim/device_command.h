#pragma once

#include <cstdint>
#include <string>

#include "protocol/frame.h"

namespace korvalen::sim {

// What a well-formed command frame asks of the device, read the way the device reads it. Kept apart
// from the byte cutting so the model and the window can both speak in commands, not bytes.
struct DeviceCommand {
  enum class Kind { Position, Speed, Feedback, Run, Stop, Shutdown, Unknown };

  Kind kind = Kind::Unknown;
  int id = 0;     // Position and Speed: the device ID
  int value = 0;  // Position: the set-point; Speed: the speed

  friend bool operator==(const DeviceCommand&, const DeviceCommand&) = default;
};

inline constexpr int kDeviceCount = 128;

// Frames whose check byte is right but whose content names nothing the device knows (a code between
// 0x80 and 0xE7, a run flag other than 0 or 1, a speed for an ID above 127) come back as Unknown.
[[nodiscard]] DeviceCommand ToCommand(const CommandFrame& frame);

// "Position ID 0 -> 1500", "Speed ID 3 -> 1", "Feedback request", "Run", "Stop", "Shutdown",
// "Unknown".
[[nodiscard]] std::string Describe(const DeviceCommand& command);

}  // namespace korvalen::sim
