#include "tests/soak/frame_ledger.h"

#include <algorithm>
#include <array>

namespace korvalen::soak {

void FrameLedger::Expect(const CommandFrame& frame) {
  owed_.push_back(frame);
  ++expected_;
}

void FrameLedger::Receive(std::span<const std::uint8_t> bytes) {
  const std::uint64_t number = ++received_;
  if (owed_.empty()) {
    NoteMismatch("frame " + std::to_string(number) + ": none was owed, got " + Hex(bytes));
    return;
  }
  const CommandFrame owed = owed_.front();
  owed_.pop_front();
  if (!std::ranges::equal(owed, bytes)) {
    NoteMismatch("frame " + std::to_string(number) + ": expected " + Hex(owed) + ", got " +
                 Hex(bytes));
  }
}

void FrameLedger::NoteMismatch(const std::string& what) {
  if (mismatched_++ == 0) first_mismatch_ = what;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr std::array<char, 16> kDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                   '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace korvalen::soak
