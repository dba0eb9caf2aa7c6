#include "sim/device_command.h"

namespace korvalen::sim {

DeviceCommand ToCommand(const CommandFrame& frame) {
  using Kind = DeviceCommand::Kind;
  const int b1 = frame[1], b2 = frame[2], b3 = frame[3];
  if (b1 < kDeviceCount) return {Kind::Position, b1, b2 * 256 + b3};
  if (b1 == CMD_SPEED && b2 < kDeviceCount) return {Kind::Speed, b2, b3};
  if (b1 == CMD_FEEDBACK && b2 == 0 && b3 == 0) return {Kind::Feedback, 0, 0};
  if (b1 == CMD_RUNSTOP && b2 == 0 && b3 == 1) return {Kind::Run, 0, 0};
  if (b1 == CMD_RUNSTOP && b2 == 0 && b3 == 0) return {Kind::Stop, 0, 0};
  if (b1 == CMD_SHUTDOWN && b2 == 0 && b3 == 0) return {Kind::Shutdown, 0, 0};
  return {};
}

std::string Describe(const DeviceCommand& command) {
  using Kind = DeviceCommand::Kind;
  switch (command.kind) {
    case Kind::Position:
      return "Position ID " + std::to_string(command.id) + " -> " + std::to_string(command.value);
    case Kind::Speed:
      return "Speed ID " + std::to_string(command.id) + " -> " + std::to_string(command.value);
    case Kind::Feedback:
      return "Feedback request";
    case Kind::Run:
      return "Run";
    case Kind::Stop:
      return "Stop";
    case Kind::Shutdown:
      return "Shutdown";
    case Kind::Unknown:
      break;
  }
  return "Unknown";
}

}  // namespace korvalen::sim
