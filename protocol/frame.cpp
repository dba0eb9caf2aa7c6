#include "protocol/frame.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace korvalen {
namespace {

std::uint8_t ToFrameByte(int value, int index) {
  if (value < 0 || value > 255) {
    throw FrameValueError("frame byte " + std::to_string(index) + " value " +
                          std::to_string(value) + " is outside 0..255");
  }
  return static_cast<std::uint8_t>(value);
}

}  // namespace

std::uint8_t CheckSum(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  const int remainder = (b0 + b1 + b2 + b3) % 256;
  return static_cast<std::uint8_t>((256 - remainder) % 256);
}

CommandFrame BuildFrame(int byte1, int byte2, int byte3) {
  // Convert all three before building anything, so a refusal leaves no partial frame behind.
  const std::uint8_t b1 = ToFrameByte(byte1, 1);
  const std::uint8_t b2 = ToFrameByte(byte2, 2);
  const std::uint8_t b3 = ToFrameByte(byte3, 3);
  return CommandFrame{FRAME_HEADER, b1, b2, b3, CheckSum(FRAME_HEADER, b1, b2, b3), 0, 0};
}

CommandFrame PositionFrame(int id, int position) {
  // C++ division truncates toward zero, which is how the position is split.
  return BuildFrame(id, position / 256, position % 256);
}

CommandFrame SpeedFrame(int id, int speed) {
  return BuildFrame(CMD_SPEED, id, speed);
}

CommandFrame FeedbackFrame() {
  return BuildFrame(CMD_FEEDBACK, 0, 0);
}

CommandFrame RunStopFrame(bool run) {
  return BuildFrame(CMD_RUNSTOP, 0, run ? 1 : 0);
}

CommandFrame ShutdownFrame() {
  return BuildFrame(CMD_SHUTDOWN, 0, 0);
}

std::optional<ReplyFrame> ReplyFrame::From(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kFrameSize) return std::nullopt;
  return ReplyFrame(bytes.first<kFrameSize>());
}

ReplyFrame ReplyFrame::Encode(const Readings& reading) {
  const std::array<std::uint8_t, kFrameSize> bytes{
      FRAME_HEADER, 0, 0, 0, CheckSum(FRAME_HEADER, 0, 0, 0), reading.current, reading.voltage};
  return ReplyFrame(bytes);
}

ReplyFrame::ReplyFrame(std::span<const std::uint8_t, kFrameSize> bytes) {
  std::ranges::copy(bytes, bytes_.begin());
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace korvalen
