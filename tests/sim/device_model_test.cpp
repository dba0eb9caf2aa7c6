#include "sim/device_model.h"

#include <gtest/gtest.h>

#include <numeric>

#include "sim/device_command.h"

namespace korvalen::sim {
namespace {

using Kind = DeviceCommand::Kind;
using namespace std::chrono_literals;

// The model's clock, moved only by the test.
struct ManualClock {
  std::chrono::milliseconds now{1000};
  [[nodiscard]] DeviceModel::Clock Get() {
    return [this] { return now; };
  }
};

class DeviceModelTest : public ::testing::Test {
 protected:
  ManualClock clock_;
  DeviceModel model_{clock_.Get()};

  Reading Feedback() { return model_.Apply({Kind::Feedback, 0, 0}).value(); }
};

TEST_F(DeviceModelTest, StartsRunningAtRestAtTheMiddle) {
  EXPECT_TRUE(model_.Running());
  EXPECT_FALSE(model_.ShutDown());
  EXPECT_FALSE(model_.AnyMoving());
  EXPECT_EQ(model_.AxisNow(0).Position(), 1500);
  EXPECT_EQ(model_.AxisNow(127).speed, 100);
  EXPECT_EQ(Feedback(), (Reading{10, 239}));
}

TEST_F(DeviceModelTest, MovesTowardTheSetPointAtTenUnitsPerSpeedPerSecond) {
  model_.Apply({Kind::Speed, 4, 20});
  model_.Apply({Kind::Position, 4, 1000});
  clock_.now += 1s;
  EXPECT_EQ(model_.AxisNow(4).Position(), 1300);
  clock_.now += 1400ms;
  EXPECT_EQ(model_.AxisNow(4).Position(), 1020);
  EXPECT_TRUE(model_.AnyMoving());
  clock_.now += 10s;
  EXPECT_EQ(model_.AxisNow(4).Position(), 1000);
  EXPECT_FALSE(model_.AnyMoving());
  EXPECT_EQ(model_.AxisNow(3).Position(), 1500) << "another ID moved";
}

TEST_F(DeviceModelTest, SlowSpeedsAccumulateFractionsOfAUnit) {
  model_.Apply({Kind::Speed, 0, 1});
  model_.Apply({Kind::Position, 0, 2400});
  for (int i = 0; i < 1000; ++i) {
    clock_.now += 1ms;
    static_cast<void>(model_.AxisNow(0));
  }
  EXPECT_EQ(model_.AxisNow(0).Position(), 1510);
}

TEST_F(DeviceModelTest, StopHoldsThePositionAndRunResumes) {
  model_.Apply({Kind::Position, 0, 2400});
  clock_.now += 100ms;
  model_.Apply({Kind::Stop, 0, 0});
  clock_.now += 5s;
  EXPECT_EQ(model_.AxisNow(0).Position(), 1600);
  EXPECT_FALSE(model_.AnyMoving());
  model_.Apply({Kind::Run, 0, 0});
  clock_.now += 100ms;
  EXPECT_EQ(model_.AxisNow(0).Position(), 1700);
}

struct LoadCase {
  const char* name;
  int speed_a;
  int speed_b;  // 0: the second axis stays put
  Reading expected;
};

class ReadingUnderLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ReadingUnderLoad, FollowsTheCurrentAndSagFormula) {
  ManualClock clock;
  DeviceModel model(clock.Get());
  model.Apply({Kind::Speed, 1, GetParam().speed_a});
  model.Apply({Kind::Position, 1, 600});
  if (GetParam().speed_b > 0) {
    model.Apply({Kind::Speed, 2, GetParam().speed_b});
    model.Apply({Kind::Position, 2, 2400});
  }
  clock.now += 10ms;
  EXPECT_EQ(model.Apply({Kind::Feedback, 0, 0}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Loads, ReadingUnderLoad,
                         ::testing::Values(LoadCase{"OneSlowAxis", 1, 0, {12, 239}},
                                           LoadCase{"OneAxisAtFullSpeed", 100, 0, {210, 214}},
                                           LoadCase{
                                               "TwoAxesHitTheCurrentCeiling", 100, 100, {255, 209}},
                                           LoadCase{"SpeedZeroDrawsNothing", 0, 0, {10, 239}}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DeviceModelTest, CurrentFallsBackOnceTheSetPointIsReached) {
  model_.Apply({Kind::Position, 0, 1600});
  clock_.now += 50ms;
  const Reading moving = Feedback();
  clock_.now += 1s;
  const Reading arrived = Feedback();
  EXPECT_GT(moving.current, arrived.current);
  EXPECT_LT(moving.voltage, arrived.voltage);
  EXPECT_EQ(arrived, (Reading{10, 239}));
}

TEST_F(DeviceModelTest, ShutdownStopsAndIgnoresEverythingAfter) {
  model_.Apply({Kind::Position, 0, 2000});
  model_.Apply({Kind::Shutdown, 0, 0});
  EXPECT_TRUE(model_.ShutDown());
  EXPECT_FALSE(model_.Running());
  EXPECT_FALSE(model_.Apply({Kind::Feedback, 0, 0}).has_value());
  model_.Apply({Kind::Run, 0, 0});
  model_.Apply({Kind::Position, 0, 600});
  clock_.now += 1s;
  EXPECT_FALSE(model_.Running());
  EXPECT_EQ(model_.AxisNow(0).set_point, 2000);
  EXPECT_EQ(model_.AxisNow(0).Position(), 1500);
}

TEST(DeviceModel, SameFramesAndClockGiveTheSameReadings) {
  const auto run = [] {
    ManualClock clock;
    DeviceModel model(clock.Get());
    std::vector<Reading> readings;
    for (int step = 0; step < 20; ++step) {
      model.Apply({Kind::Position, step % 3, 600 + step * 90});
      model.Apply({Kind::Speed, step % 3, 1 + step * 5});
      clock.now += std::chrono::milliseconds(37 * step);
      readings.push_back(model.Apply({Kind::Feedback, 0, 0}).value());
    }
    return readings;
  };
  EXPECT_EQ(run(), run());
}

TEST(ReplyBytes, CarryTheReadingsBehindAValidHeaderAndCheckByte) {
  const CommandFrame reply = ReplyBytes({210, 214});
  EXPECT_EQ(reply[0], FRAME_HEADER);
  EXPECT_EQ(std::accumulate(reply.begin(), reply.begin() + 5, 0U) % 256, 0U);
  const auto parsed = ReplyFrame::From(reply);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->Current(), 210);
  EXPECT_EQ(parsed->Voltage(), 214);
}

}  // namespace
}  // namespace korvalen::sim
