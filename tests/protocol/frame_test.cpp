#include "protocol/frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace korvalen {
namespace {

using ::testing::ElementsAreArray;

struct WorkedFrame {
  std::string name;
  CommandFrame built;
  CommandFrame expected;
};

class WorkedFrames : public ::testing::TestWithParam<WorkedFrame> {};

TEST_P(WorkedFrames, MatchByteForByte) {
  EXPECT_THAT(GetParam().built, ElementsAreArray(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, WorkedFrames,
    ::testing::Values(
        WorkedFrame{"Feedback", FeedbackFrame(), {0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00}},
        WorkedFrame{"Shutdown", ShutdownFrame(), {0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00}},
        WorkedFrame{"Run", RunStopFrame(true), {0x80, 0xEB, 0x00, 0x01, 0x94, 0x00, 0x00}},
        WorkedFrame{"Stop", RunStopFrame(false), {0x80, 0xEB, 0x00, 0x00, 0x95, 0x00, 0x00}},
        WorkedFrame{"PositionId0At1500",
                    PositionFrame(0, 1500),
                    {0x80, 0x00, 0x05, 0xDC, 0x9F, 0x00, 0x00}},
        WorkedFrame{"PositionId127At2400",
                    PositionFrame(127, 2400),
                    {0x80, 0x7F, 0x09, 0x60, 0x98, 0x00, 0x00}},
        WorkedFrame{
            "SpeedId0At100", SpeedFrame(0, 100), {0x80, 0xE9, 0x00, 0x64, 0x33, 0x00, 0x00}},
        WorkedFrame{"SpeedId3At1", SpeedFrame(3, 1), {0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00}},
        // The only sum in this table that is itself a multiple of 256: the check byte is 0, not
        // 256.
        WorkedFrame{"PositionId0At638CheckByteZero",
                    PositionFrame(0, 638),
                    {0x80, 0x00, 0x02, 0x7E, 0x00, 0x00, 0x00}},
        WorkedFrame{
            "PositionId0At600", PositionFrame(0, 600), {0x80, 0x00, 0x02, 0x58, 0x26, 0x00, 0x00}},
        WorkedFrame{"PositionId5At1500",
                    PositionFrame(5, 1500),
                    {0x80, 0x05, 0x05, 0xDC, 0x9A, 0x00, 0x00}},
        WorkedFrame{"BuildFrameKeepsArgumentOrder",
                    BuildFrame(1, 2, 3),
                    {0x80, 0x01, 0x02, 0x03, 0x7A, 0x00, 0x00}}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(CheckSum, MakesTheFirstFiveBytesAMultipleOf256) {
  struct Case {
    std::uint8_t b0, b1, b2, b3, expected;
  };
  for (const Case& c : std::vector<Case>{{0x80, 0x00, 0x00, 0x00, 0x80},
                                         {0x80, 0x00, 0x02, 0x7E, 0x00},
                                         {0x80, 0xFF, 0xFF, 0xFF, 0x83},
                                         {0x00, 0x00, 0x00, 0x00, 0x00},
                                         {0x00, 0x00, 0x00, 0x01, 0xFF}}) {
    EXPECT_EQ(CheckSum(c.b0, c.b1, c.b2, c.b3), c.expected)
        << int{c.b0} << " " << int{c.b1} << " " << int{c.b2} << " " << int{c.b3};
  }
}

TEST(PositionFrame, EveryIdAndPositionSumsToAMultipleOf256AndSplitsExactly) {
  for (int id = 0; id <= 127; ++id) {
    for (int position = 600; position <= 2400; ++position) {
      const CommandFrame frame = PositionFrame(id, position);
      const int sum = std::accumulate(frame.begin(), frame.begin() + 5, 0);
      ASSERT_EQ(sum % 256, 0) << "id " << id << " position " << position;
      ASSERT_EQ(frame[0], FRAME_HEADER);
      ASSERT_EQ(frame[1], id);
      ASSERT_EQ(frame[2] * 256 + frame[3], position);
      ASSERT_EQ(frame[5], 0);
      ASSERT_EQ(frame[6], 0);
    }
  }
}

TEST(BuildFrame, RefusesEveryByteOutsideItsRangeAndNamesIt) {
  for (const int bad : {-1, 256, 32767, -32768}) {
    for (int place = 1; place <= 3; ++place) {
      int bytes[3] = {0, 0, 0};
      bytes[place - 1] = bad;
      try {
        (void)BuildFrame(bytes[0], bytes[1], bytes[2]);
        ADD_FAILURE() << "built a frame with " << bad << " in byte " << place;
      } catch (const FrameValueError& error) {
        const std::string what = error.what();
        EXPECT_NE(what.find("byte " + std::to_string(place)), std::string::npos) << what;
        EXPECT_NE(what.find(std::to_string(bad)), std::string::npos) << what;
      }
    }
  }
}

TEST(BuildFrame, AcceptsTheWholeByteRangeInEveryPlace) {
  for (const int edge : {0, 255}) {
    EXPECT_NO_THROW((void)BuildFrame(edge, 0, 0));
    EXPECT_NO_THROW((void)BuildFrame(0, edge, 0));
    EXPECT_NO_THROW((void)BuildFrame(0, 0, edge));
  }
}

TEST(CommandHelpers, RefuseAnIdThatDoesNotFitAByte) {
  EXPECT_THROW((void)PositionFrame(256, 1500), FrameValueError);
  EXPECT_THROW((void)PositionFrame(-1, 1500), FrameValueError);
  EXPECT_THROW((void)SpeedFrame(300, 50), FrameValueError);
  EXPECT_THROW((void)PositionFrame(0, -1), FrameValueError);  // -1 % 256 stays -1
}

TEST(ReplyFrame, IsExactlySevenBytesWhateverTheyHold) {
  const std::vector<std::uint8_t> seven = {0x80, 0, 0, 0, 0x55, 0x2A, 0x0C};
  const auto reply = ReplyFrame::From(seven);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->Current(), 0x2A);
  EXPECT_EQ(reply->Voltage(), 0x0C);

  for (const std::size_t size : {0u, 1u, 6u, 8u, 14u}) {
    const std::vector<std::uint8_t> bytes(size, 0x80);
    EXPECT_FALSE(ReplyFrame::From(bytes).has_value()) << size << " bytes";
  }
}

TEST(ReplyFrame, DoesNotExamineHeaderOrCheckByte) {
  const std::vector<std::uint8_t> wrong_header = {0x00, 1, 2, 3, 4, 0xFF, 0x00};
  const std::vector<std::uint8_t> wrong_check = {0x80, 0xE8, 0, 0, 0x00, 7, 9};
  const auto a = ReplyFrame::From(wrong_header);
  const auto b = ReplyFrame::From(wrong_check);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Current(), 0xFF);
  EXPECT_EQ(a->Voltage(), 0x00);
  EXPECT_EQ(b->Current(), 7);
  EXPECT_EQ(b->Voltage(), 9);
}

}  // namespace
}  // namespace korvalen
