#include "sim/frame_decoder.h"

#include <algorithm>

#include "protocol/command.h"

namespace korvalen::sim {

std::vector<CommandFrame> FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  std::vector<CommandFrame> frames;
  std::size_t start = 0;
  while (true) {
    const auto header = std::find(pending_.begin() + static_cast<std::ptrdiff_t>(start),
                                  pending_.end(), FRAME_HEADER);
    const auto at = static_cast<std::size_t>(header - pending_.begin());
    skipped_bytes_ += at - start;
    start = at;
    if (pending_.size() - start < kFrameSize) break;
    const std::span<const std::uint8_t, kFrameSize> candidate(pending_.data() + start, kFrameSize);
    if (IsWellFormed(candidate)) {
      CommandFrame frame{};
      std::copy(candidate.begin(), candidate.end(), frame.begin());
      frames.push_back(frame);
      start += kFrameSize;
    } else {
      // Only the header is dropped: the real frame may begin inside the rejected seven bytes.
      ++rejected_frames_;
      ++skipped_bytes_;
      ++start;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
  return frames;
}

}  // namespace korvalen::sim
