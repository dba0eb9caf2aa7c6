// What the demo and the benchmarks take from the simulated device: it reads the panel's frames as
// the device would, finds its way back after noise, answers in the reply layout and moves its axes.
#include <gtest/gtest.h>

#include "sim/device_command.h"
#include "sim/device_model.h"
#include "sim/frame_decoder.h"

namespace korvalen::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = DeviceCommand::Kind;

TEST(FrameDecoder, ReadsWorkedFramesRejectsAWrongCheckByteAndResyncsAfterGarbage) {
  struct Case {
    const char* name;
    Bytes stream;
    std::vector<DeviceCommand> commands;
    std::size_t rejected;
  };
  const Case cases[] = {
      {"feedback", {0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00}, {{Kind::Feedback}}, 0},
      {"shutdown, run, stop",
       {0x80, 0xEF, 0, 0, 0x91, 0, 0, 0x80, 0xEB, 0, 1, 0x94, 0, 0, 0x80, 0xEB, 0, 0, 0x95, 0, 0},
       {{Kind::Shutdown}, {Kind::Run}, {Kind::Stop}},
       0},
      {"position with a header value inside",
       {0x80, 0x7F, 0x02, 0x80, 0x7F, 0, 0},
       {{Kind::Position, 127, 640}},
       0},
      {"speed", {0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00}, {{Kind::Speed, 3, 1}}, 0},
      {"wrong check byte", {0x80, 0xE8, 0x00, 0x00, 0x99, 0x00, 0x00}, {}, 1},
      {"garbage and a cut frame first",
       {0x00, 0x13, 0xFF, 0x80, 0xEB, 0x00, 0x80, 0xE9, 0x03, 0x01, 0x93, 0x00, 0x00},
       {{Kind::Speed, 3, 1}},
       1}};
  for (const Case& c : cases) {
    FrameDecoder decoder;
    std::vector<DeviceCommand> commands;
    for (std::size_t i = 0; i < c.stream.size(); i += 5) {  // in pieces, as a line delivers
      const std::size_t size = std::min<std::size_t>(5, c.stream.size() - i);
      for (const CommandFrame& frame : decoder.Feed(std::span(c.stream).subspan(i, size))) {
        commands.push_back(ToCommand(frame));
      }
    }
    EXPECT_EQ(commands, c.commands) << c.name;
    EXPECT_EQ(decoder.RejectedFrames(), c.rejected) << c.name;
    EXPECT_EQ(decoder.Pending(), 0U) << c.name;
  }
}

TEST(DeviceModel, MovesTowardTheSetPointAndRepliesWithItsLoad) {
  std::chrono::milliseconds now{1000};
  DeviceModel model([&now] { return now; });
  EXPECT_EQ(ReplyBytes(*model.Apply({Kind::Feedback})),
            (CommandFrame{0x80, 0x00, 0x00, 0x00, 0x80, 10, 239}));
  model.Apply({Kind::Speed, 4, 20});
  model.Apply({Kind::Position, 4, 1000});
  now += 1s;
  EXPECT_EQ(model.AxisNow(4).Position(), 1300);
  EXPECT_EQ(model.ReadingNow(), (Reading{50, 234}));
  now += 10s;
  EXPECT_EQ(model.AxisNow(4).Position(), 1000);
  EXPECT_FALSE(model.AnyMoving());
  EXPECT_EQ(model.AxisNow(3).Position(), 1500) << "another ID moved";
  model.Apply({Kind::Shutdown});
  EXPECT_FALSE(model.Apply({Kind::Feedback}).has_value());
}

}  // namespace
}  // namespace korvalen::sim
