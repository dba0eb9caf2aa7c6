#include "sim/frame_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/device_command.h"

namespace korvalen::sim {
namespace {

using Kind = DeviceCommand::Kind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct WorkedCommand {
  std::string name;
  CommandFrame bytes;
  DeviceCommand command;
  std::string description;
};

class WorkedCommands : public ::testing::TestWithParam<WorkedCommand> {};

TEST_P(WorkedCommands, DecodeIntoTheirCommand) {
  FrameDecoder decoder;
  const auto frames = decoder.Feed(GetParam().bytes);
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(ToCommand(frames[0]), GetParam().command);
  EXPECT_EQ(Describe(ToCommand(frames[0])), GetParam().description);
  EXPECT_EQ(decoder.RejectedFrames(), 0U);
  EXPECT_EQ(decoder.Pending(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WorkedCommands,
    ::testing::Values(
        WorkedCommand{"Feedback",
                      {0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00},
                      {Kind::Feedback, 0, 0},
                      "Feedback request"},
        WorkedCommand{"Shutdown",
                      {0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00},
                      {Kind::Shutdown, 0, 0},
                      "Shutdown"},
        WorkedCommand{"Run", {0x80, 0xEB, 0x00, 0x01, 0x94, 0x00, 0x00}, {Kind::Run, 0, 0}, "Run"},
        WorkedCommand{
            "Stop", {0x80, 0xEB, 0x00, 0x00, 0x95, 0x00, 0x00}, {Kind::Stop, 0, 0}, "Stop"},
        WorkedCommand{"PositionId0At1500",
                      {0x80, 0x00, 0x05, 0xDC, 0x9F, 0x00, 0x00},
                      {Kind::Position, 0, 1500},
                      "Position ID 0 -> 1500"},
        WorkedCommand{"PositionId127At2400",
                      {0x80, 0x7F, 0x09, 0x60, 0x98, 0x00, 0x00},
                      {Kind::Position, 127, 2400},
                      "Position ID 127 -> 2400"},
        WorkedCommand{"SpeedId0At100",
                      {0x80, 0xE9, 0x00, 0x64, 0x33, 0x00, 0x00},
                      {Kind::Speed, 0, 100},
                      "Speed ID 0 -> 100"},
        WorkedCommand{"SpeedId3At1",
                      {0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00},
                      {Kind::Speed, 3, 1},
                      "Speed ID 3 -> 1"},
        WorkedCommand{"PositionId0At638CheckByteZero",
                      {0x80, 0x00, 0x02, 0x7E, 0x00, 0x00, 0x00},
                      {Kind::Position, 0, 638},
                      "Position ID 0 -> 638"},
        WorkedCommand{"RunFlagOtherThanOneOrZero",
                      BuildFrame(CMD_RUNSTOP, 0, 2),
                      {Kind::Unknown, 0, 0},
                      "Unknown"},
        WorkedCommand{
            "CodeBetweenIdsAndCommands", BuildFrame(0x80, 0, 0), {Kind::Unknown, 0, 0}, "Unknown"},
        WorkedCommand{"SpeedForAnIdAbove127",
                      BuildFrame(CMD_SPEED, 128, 5),
                      {Kind::Unknown, 0, 0},
                      "Unknown"}),
    [](const auto& param_info) { return param_info.param.name; });

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<std::uint8_t> Bytes(const CommandFrame& frame) {
  return {frame.begin(), frame.end()};
}

TEST(FrameDecoder, RejectsAWrongCheckByteAndCountsIt) {
  CommandFrame bad = FeedbackFrame();
  bad[4] = static_cast<std::uint8_t>(bad[4] + 1);
  FrameDecoder decoder;
  EXPECT_THAT(decoder.Feed(bad), IsEmpty());
  EXPECT_EQ(decoder.RejectedFrames(), 1U);
}

TEST(FrameDecoder, FindsTheFrameBehindARejectedOne) {
  // A frame cut short by noise: its header and two bytes, then a whole run frame.
  const auto stream = Join({{0x80, 0xEB, 0x00}, Bytes(RunStopFrame(true))});
  FrameDecoder decoder;
  const auto frames = decoder.Feed(stream);
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0], RunStopFrame(true));
  EXPECT_EQ(decoder.RejectedFrames(), 1U);
  EXPECT_EQ(decoder.SkippedBytes(), 3U);
}

TEST(FrameDecoder, ResynchronisesAfterGarbage) {
  const auto stream = Join({{0x00, 0x13, 0xFF, 0x80, 0x42},
                            Bytes(PositionFrame(5, 640)),
                            {0x7F},
                            Bytes(SpeedFrame(5, 40))});
  FrameDecoder decoder;
  EXPECT_THAT(decoder.Feed(stream), ElementsAre(PositionFrame(5, 640), SpeedFrame(5, 40)));
  EXPECT_EQ(decoder.SkippedBytes(), 6U);
}

TEST(FrameDecoder, HeaderValuedParameterBytesDoNotBreakAlignment) {
  // 640 is 02 80: a header value inside an aligned frame must not start a new one.
  const auto stream = Join({Bytes(PositionFrame(0, 640)), Bytes(FeedbackFrame())});
  FrameDecoder decoder;
  EXPECT_THAT(decoder.Feed(stream), ElementsAre(PositionFrame(0, 640), FeedbackFrame()));
  EXPECT_EQ(decoder.SkippedBytes(), 0U);
}

TEST(FrameDecoder, JoinsAFrameArrivingInPieces) {
  const CommandFrame frame = SpeedFrame(3, 1);
  FrameDecoder decoder;
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    EXPECT_THAT(decoder.Feed(std::span(frame.data() + i, 1)), IsEmpty()) << "after byte " << i;
  }
  EXPECT_THAT(decoder.Feed(std::span(frame.data() + 6, 1)), ElementsAre(frame));
  EXPECT_EQ(decoder.Pending(), 0U);
}

TEST(FrameDecoder, KeepsNoGarbageWithoutAHeader) {
  const std::vector<std::uint8_t> noise(10000, 0x11);
  FrameDecoder decoder;
  EXPECT_THAT(decoder.Feed(noise), IsEmpty());
  EXPECT_EQ(decoder.Pending(), 0U);
  EXPECT_EQ(decoder.SkippedBytes(), 10000U);
}

TEST(DeviceCommandText, HexIsUpperCaseAndSpaced) {
  const CommandFrame frame = FeedbackFrame();
  EXPECT_EQ(ToHex(frame), "80 E8 00 00 98 00 00");
}

}  // namespace
}  // namespace korvalen::sim
