// What the demo and the benchmarks take from the simulated device: it reads the panel's frames as
// the device would, finds its way back after noise, answers in the reply layout and moves its axes.
#include <gtest/gtest.h>

#include "protocol/command.h"
#include "sim/device_model.h"
#include "sim/frame_decoder.h"

namespace korvalen::sim {
namespace {

using Kind = Command::Kind;

TEST(FrameDecoder, ReadsWorkedFramesRejectsAWrongCheckByteAndResyncsAfterGarbage) {
  const std::tuple<std::vector<std::uint8_t>, std::vector<Command>, std::size_t> cases[] = {
      {{0x80, 0xE8, 0, 0,    0x98, 0, 0, 0x80, 0xEF, 0, 0, 0x91, 0, 0,
        0x80, 0xEB, 0, 1,    0x94, 0, 0, 0x80, 0xEB, 0, 0, 0x95, 0, 0,
        0x80, 0x7F, 2, 0x80, 0x7F, 0, 0, 0x80, 0xE9, 3, 1, 0x93, 0, 0},
       {{Kind::kFeedback},
        {Kind::kShutdown},
        {Kind::kRun},
        {Kind::kStop},
        {Kind::kPosition, 127, 640},
        {Kind::kSpeed, 3, 1}},
       0},
      {{0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00}, {}, 1},
      {{0x00, 0x13, 0xFF, 0x80, 0xEB, 0x00, 0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00},
       {{Kind::kSpeed, 3, 1}},
       1}};
  for (const auto& [stream, expected, rejected] : cases) {
    FrameDecoder decoder;
    std::vector<Command> commands;
    for (std::size_t i = 0; i < stream.size(); i += 5) {  // in pieces, as a line delivers
      for (const CommandFrame& frame : decoder.Feed(
               std::span(stream).subspan(i, std::min<std::size_t>(5, stream.size() - i)))) {
        commands.push_back(ReadCommand(frame));
      }
    }
    EXPECT_EQ(commands, expected);
    EXPECT_EQ(decoder.RejectedFrames(), rejected);
    EXPECT_EQ(decoder.Pending(), 0U);
  }
}

TEST(DeviceModel, MovesTowardTheSetPointAndRepliesWithItsLoad) {
  std::chrono::milliseconds now{1000};
  DeviceModel model([&now] { return now; });
  EXPECT_EQ(ReplyFrame::Encode(*model.Apply({Kind::kFeedback})).Bytes(),
            (CommandFrame{0x80, 0x00, 0x00, 0x00, 0x80, 10, 239}));
  model.Apply({Kind::kSpeed, 4, 20});
  model.Apply({Kind::kPosition, 4, 1000});
  now += std::chrono::seconds(1);
  EXPECT_EQ(model.AxisNow(4).Position(), 1300);
  EXPECT_EQ(model.ReadingNow(), (Readings{50, 234}));
  now += std::chrono::seconds(10);
  EXPECT_EQ(model.AxisNow(4).Position(), 1000);
  EXPECT_FALSE(model.AnyMoving());
  EXPECT_EQ(model.AxisNow(3).Position(), 1500) << "another ID moved";
}

}  // namespace
}  // namespace korvalen::sim
