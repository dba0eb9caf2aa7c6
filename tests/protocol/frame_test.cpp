#include "protocol/frame.h"

#include "protocol/command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>

namespace korvalen {
namespace {

TEST(Frame, WorkedFramesMatchByteForByte) {
  const std::pair<CommandFrame, CommandFrame> cases[] = {
      {FeedbackFrame(), {0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00}},
      {ShutdownFrame(), {0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00}},
      {RunStopFrame(true), {0x80, 0xEB, 0x00, 0x01, 0x94, 0x00, 0x00}},
      {RunStopFrame(false), {0x80, 0xEB, 0x00, 0x00, 0x95, 0x00, 0x00}},
      {PositionFrame(0, 1500), {0x80, 0x00, 0x05, 0xDC, 0x9F, 0x00, 0x00}},
      {PositionFrame(127, 2400), {0x80, 0x7F, 0x09, 0x60, 0x98, 0x00, 0x00}},
      {SpeedFrame(0, 100), {0x80, 0xE9, 0x00, 0x64, 0x33, 0x00, 0x00}},
      {SpeedFrame(3, 1), {0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00}},
      // The sum is itself a multiple of 256: the check byte is 0, not 256.
      {PositionFrame(0, 638), {0x80, 0x00, 0x02, 0x7E, 0x00, 0x00, 0x00}},
      {BuildFrame(1, 2, 3), {0x80, 0x01, 0x02, 0x03, 0x7A, 0x00, 0x00}}};
  for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
}

TEST(Frame, EveryPositionFrameSumsToAMultipleOf256AndSplitsThePositionExactly) {
  for (int id = 0; id <= 127; ++id) {
    for (int position = 600; position <= 2400; ++position) {
      const CommandFrame frame = PositionFrame(id, position);
      ASSERT_EQ(std::accumulate(frame.begin(), frame.begin() + 5, 0) % 256, 0) << id << position;
      ASSERT_EQ(frame, (CommandFrame{FRAME_HEADER, static_cast<std::uint8_t>(id),
                                     static_cast<std::uint8_t>(position >> 8),
                                     static_cast<std::uint8_t>(position & 0xFF), frame[4], 0, 0}));
    }
  }
}

TEST(Frame, BuildFrameRefusesEveryByteOutside0To255AndNamesIt) {
  for (const int value : {-1, 0, 255, 256}) {
    for (int place = 1; place <= 3; ++place) {
      int bytes[3] = {0, 0, 0};
      bytes[place - 1] = value;
      const bool fits = value == 0 || value == 255;
      try {
        (void)BuildFrame(bytes[0], bytes[1], bytes[2]);
        EXPECT_TRUE(fits) << "built a frame with " << value << " in byte " << place;
      } catch (const FrameValueError& error) {
        EXPECT_FALSE(fits) << error.what();
        const std::string named =
            "byte " + std::to_string(place) + " value " + std::to_string(value);
        EXPECT_THAT(error.what(), ::testing::HasSubstr(named));
      }
    }
  }
}

// The log and the simulated device both read frames through this: byte 1 from 0x80 to 0xE7 is
// neither an ID (0 to 127) nor a command code, so 0x90 names no device.
TEST(Command, ReadsAndDescribesEveryCommandAndNothingElse) {
  using Kind = Command::Kind;
  const std::tuple<CommandFrame, Command, std::string> cases[] = {
      {PositionFrame(127, 2400), {Kind::kPosition, 127, 2400}, "position id 127 2400"},
      {SpeedFrame(3, 1), {Kind::kSpeed, 3, 1}, "speed id 3 1"},
      {FeedbackFrame(), {Kind::kFeedback}, "feedback request"},
      {RunStopFrame(true), {Kind::kRun}, "run"},
      {RunStopFrame(false), {Kind::kStop}, "stop"},
      {ShutdownFrame(), {Kind::kShutdown}, "shutdown"},
      {BuildFrame(0x90, 5, 0xDC), {}, "unknown command"},
      {BuildFrame(CMD_SPEED, 128, 1), {}, "unknown command"},
      {BuildFrame(CMD_RUNSTOP, 0, 2), {}, "unknown command"},
      {BuildFrame(CMD_FEEDBACK, 0, 1), {}, "unknown command"},
      {BuildFrame(CMD_SHUTDOWN, 1, 0), {}, "unknown command"},
      {BuildFrame(0xEA, 0, 0), {}, "unknown command"}};
  for (const auto& [frame, command, text] : cases) {
    EXPECT_EQ(ReadCommand(frame), command) << ToHex(frame);
    EXPECT_EQ(Describe(ReadCommand(frame)), text) << ToHex(frame);
  }
}

}  // namespace
}  // namespace korvalen
