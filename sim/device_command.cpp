#include "sim/device_command.h"

#include <array>

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

std::string ToHex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr std::array<char, 16> kDigits{'0', '1', '2', '3', '4', '5', '6', '7',
                                                '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  std::string text;
  text.reserve(size * 3);
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) text.push_back(' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace korvalen::sim
