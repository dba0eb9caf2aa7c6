#include "tests/soak/frame_ledger.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace korvalen::soak {
namespace {

using Bytes = std::vector<std::uint8_t>;

const CommandFrame kA = PositionFrame(0, 1500);  // 80 00 05 DC 9F 00 00
const CommandFrame kB = PositionFrame(0, 1510);
const CommandFrame kC = SpeedFrame(3, 1);  // 80 E9 03 01 93 00 00

Bytes Of(const CommandFrame& frame) {
  return {frame.begin(), frame.end()};
}

struct Case {
  const char* name;
  std::vector<CommandFrame> owed;
  std::vector<Bytes> came;
  bool all_in_order;
  std::uint64_t mismatched;
  std::size_t outstanding;
  const char* first_mismatch;  // the whole text, or empty
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class LedgerTest : public ::testing::TestWithParam<Case> {};

TEST_P(LedgerTest, JudgesWhatCameAgainstWhatWasOwed) {
  const Case& c = GetParam();
  FrameLedger ledger;
  for (const CommandFrame& frame : c.owed) ledger.Expect(frame);
  for (const Bytes& bytes : c.came) ledger.Receive(bytes);
  EXPECT_EQ(ledger.AllArrivedInOrder(), c.all_in_order);
  EXPECT_EQ(ledger.Expected(), c.owed.size());
  EXPECT_EQ(ledger.Received(), c.came.size());
  EXPECT_EQ(ledger.Mismatched(), c.mismatched);
  EXPECT_EQ(ledger.Outstanding(), c.outstanding);
  EXPECT_EQ(ledger.FirstMismatch(), c.first_mismatch);
}

Bytes Corrupted(const CommandFrame& frame) {
  Bytes bytes = Of(frame);
  bytes[3] ^= 0x01;
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Ledger, LedgerTest,
    ::testing::Values(Case{"EveryFrameInOrder",
                           {kA, kB, kC, kC},
                           {Of(kA), Of(kB), Of(kC), Of(kC)},
                           true,
                           0,
                           0,
                           ""},
                      Case{"LostFrameShiftsTheRest",
                           {kA, kB, kC},
                           {Of(kA), Of(kC)},
                           false,
                           1,
                           1,
                           "frame 2: expected 80 00 05 E6 95 00 00, got 80 E9 03 01 93 00 00"},
                      Case{"SwappedFrames",
                           {kA, kB},
                           {Of(kB), Of(kA)},
                           false,
                           2,
                           0,
                           "frame 1: expected 80 00 05 DC 9F 00 00, got 80 00 05 E6 95 00 00"},
                      Case{"OneBitWrong",
                           {kA},
                           {Corrupted(kA)},
                           false,
                           1,
                           0,
                           "frame 1: expected 80 00 05 DC 9F 00 00, got 80 00 05 DD 9F 00 00"},
                      Case{"FrameNobodyOwed",
                           {kA},
                           {Of(kA), Of(kC)},
                           false,
                           1,
                           0,
                           "frame 2: none was owed, got 80 E9 03 01 93 00 00"},
                      Case{"ShortRead",
                           {kA},
                           {Bytes{0x80, 0x00, 0x05, 0xDC, 0x9F, 0x00}},
                           false,
                           1,
                           0,
                           "frame 1: expected 80 00 05 DC 9F 00 00, got 80 00 05 DC 9F 00"},
                      Case{"StillOnItsWay", {kA, kB}, {Of(kA)}, false, 0, 1, ""},
                      Case{"NothingOwedNothingCame", {}, {}, true, 0, 0, ""}),
    [](const ::testing::TestParamInfo<Case>& tested) { return tested.param.name; });

TEST(Ledger, KeepsOnlyTheFramesStillOwed) {
  FrameLedger ledger;
  for (int position = 600; position <= 2400; ++position) {
    ledger.Expect(PositionFrame(position % 128, position));
    ledger.Receive(PositionFrame(position % 128, position));
    ASSERT_EQ(ledger.Outstanding(), 0U);
  }
  EXPECT_TRUE(ledger.AllArrivedInOrder());
  EXPECT_EQ(ledger.Received(), 1801U);
}

}  // namespace
}  // namespace korvalen::soak
