#include "protocol/command.h"

namespace korvalen {

bool IsWellFormed(std::span<const std::uint8_t, kFrameSize> frame) {
  return frame[0] == FRAME_HEADER && frame[4] == CheckSum(frame[0], frame[1], frame[2], frame[3]);
}

Command ReadCommand(const CommandFrame& frame) {
  using Kind = Command::Kind;
  const int b1 = frame[1], b2 = frame[2], b3 = frame[3];
  if (b1 < kDeviceCount) return {Kind::kPosition, b1, b2 * 256 + b3};
  if (b1 == CMD_SPEED && b2 < kDeviceCount) return {Kind::kSpeed, b2, b3};
  if (b1 == CMD_FEEDBACK && b2 == 0 && b3 == 0) return {Kind::kFeedback};
  if (b1 == CMD_RUNSTOP && b2 == 0 && b3 == 1) return {Kind::kRun};
  if (b1 == CMD_RUNSTOP && b2 == 0 && b3 == 0) return {Kind::kStop};
  if (b1 == CMD_SHUTDOWN && b2 == 0 && b3 == 0) return {Kind::kShutdown};
  return {};
}

std::string Describe(const Command& command) {
  using Kind = Command::Kind;
  switch (command.kind) {
    case Kind::kPosition:
      return "position id " + std::to_string(command.id) + " " + std::to_string(command.value);
    case Kind::kSpeed:
      return "speed id " + std::to_string(command.id) + " " + std::to_string(command.value);
    case Kind::kFeedback:
      return "feedback request";
    case Kind::kRun:
      return "run";
    case Kind::kStop:
      return "stop";
    case Kind::kShutdown:
      return "shutdown";
    case Kind::kUnknown:
      break;
  }
  return "unknown command";
}

}  // namespace korvalen
