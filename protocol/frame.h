#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace korvalen {

inline constexpr std::uint8_t FRAME_HEADER = 0x80;
inline constexpr std::int16_t CMD_FEEDBACK = 0xE8, CMD_SPEED = 0xE9, CMD_RUNSTOP = 0xEB,
                              CMD_SHUTDOWN = 0xEF;

inline constexpr std::size_t kFrameSize = 7;

// Header, three variable bytes, the check byte over bytes 0..3, and two zero bytes.
using CommandFrame = std::array<std::uint8_t, kFrameSize>;

// A frame byte outside 0..255. The value is refused, never wrapped or clipped: a wrapped byte
// would be a different, valid-looking command on the wire.
struct FrameValueError : std::out_of_range {
  using std::out_of_range::out_of_range;
};

// The byte that makes bytes 0..4 of a frame add up to a multiple of 256.
[[nodiscard]] std::uint8_t CheckSum(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                    std::uint8_t b3);

// Throws FrameValueError, naming the byte and its value, if one is outside 0..255.
[[nodiscard]] CommandFrame BuildFrame(int byte1, int byte2, int byte3);

// The five commands the panel sends; each is one call of BuildFrame.
[[nodiscard]] CommandFrame PositionFrame(int id, int position);
[[nodiscard]] CommandFrame SpeedFrame(int id, int speed);
[[nodiscard]] CommandFrame FeedbackFrame();
[[nodiscard]] CommandFrame RunStopFrame(bool run);
[[nodiscard]] CommandFrame ShutdownFrame();

// Bytes as the operator reads them in a manual: "80 E8 00 00 98 00 00". The one hex form of the
// whole program, for frame logs, the simulator's window and test messages alike.
[[nodiscard]] std::string ToHex(std::span<const std::uint8_t> bytes);

// The device's two readings, as one reply carries them.
struct Readings {
  std::uint8_t current = 0;
  std::uint8_t voltage = 0;

  friend bool operator==(const Readings&, const Readings&) = default;
};

// What one read of the port returned, taken as a reply only when it is exactly 7 bytes.
// Header and check byte are deliberately not examined: the device's readings are shown as sent.
class ReplyFrame {
 public:
  [[nodiscard]] static std::optional<ReplyFrame> From(std::span<const std::uint8_t> bytes);
  // The reply as the device sends it: the header, three zero bytes, the check byte over bytes 0..3,
  // then the readings.
  [[nodiscard]] static ReplyFrame Encode(const Readings& reading);

  [[nodiscard]] std::uint8_t Current() const { return bytes_[5]; }
  [[nodiscard]] std::uint8_t Voltage() const { return bytes_[6]; }
  [[nodiscard]] const std::array<std::uint8_t, kFrameSize>& Bytes() const { return bytes_; }

 private:
  explicit ReplyFrame(std::span<const std::uint8_t, kFrameSize> bytes);

  std::array<std::uint8_t, kFrameSize> bytes_{};
};

}  // namespace korvalen
