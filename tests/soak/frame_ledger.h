#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "protocol/frame.h"

namespace korvalen::soak {

// Holds the frames the panel owes the device, oldest first, and checks each frame the device
// receives against the oldest one owed. Only frames still on their way are kept, so the ledger
// stays small however long the soak runs; a lost frame shows as the first mismatch.
class FrameLedger {
 public:
  void Expect(const CommandFrame& frame);
  void Receive(std::span<const std::uint8_t> bytes);

  [[nodiscard]] std::uint64_t Expected() const { return expected_; }
  [[nodiscard]] std::uint64_t Received() const { return received_; }
  [[nodiscard]] std::uint64_t Mismatched() const { return mismatched_; }
  [[nodiscard]] std::size_t Outstanding() const { return owed_.size(); }
  // Empty until the first frame that was not the one owed; then which frame and what came.
  [[nodiscard]] const std::string& FirstMismatch() const { return first_mismatch_; }
  // Every owed frame came, byte for byte, in order, and nothing else came.
  [[nodiscard]] bool AllArrivedInOrder() const {
    return mismatched_ == 0 && owed_.empty() && received_ == expected_;
  }

 private:
  void NoteMismatch(const std::string& what);

  std::deque<CommandFrame> owed_;
  std::uint64_t expected_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t mismatched_ = 0;
  std::string first_mismatch_;
};

// "80 00 05 DC 9F 00 00"
[[nodiscard]] std::string Hex(std::span<const std::uint8_t> bytes);

}  // namespace korvalen::soak
