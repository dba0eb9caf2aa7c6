#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/frame.h"

namespace korvalen::sim {

// Cuts the byte stream the device receives into command frames. A serial line gives no framing of
// its own: after line noise, a half-written frame or a garbage burst the device has to find the
// next header itself, and a frame whose check byte is wrong must never move the device.
class FrameDecoder {
 public:
  // Every complete frame with a right check byte, in arrival order; bytes of an unfinished frame
  // are kept for the next call.
  [[nodiscard]] std::vector<CommandFrame> Feed(std::span<const std::uint8_t> bytes);

  // Seven bytes that started with a header but failed the check.
  [[nodiscard]] std::size_t RejectedFrames() const { return rejected_frames_; }
  // Bytes dropped while looking for a header, those of rejected frames included.
  [[nodiscard]] std::size_t SkippedBytes() const { return skipped_bytes_; }
  // Bytes held back because their frame is not complete yet.
  [[nodiscard]] std::size_t Pending() const { return pending_.size(); }

 private:
  std::vector<std::uint8_t> pending_;
  std::size_t rejected_frames_ = 0;
  std::size_t skipped_bytes_ = 0;
};

}  // namespace korvalen::sim
