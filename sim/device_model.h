#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "protocol/command.h"
#include "protocol/frame.h"

namespace korvalen::sim {

// One axis, addressed by its device ID.
struct Axis {
  int set_point = 0;
  int speed = 0;
  std::int64_t position_milli = 0;  // thousandths of a position unit, so slow speeds still move

  [[nodiscard]] int Position() const { return static_cast<int>(position_milli / 1000); }
  [[nodiscard]] bool AtSetPoint() const { return position_milli == std::int64_t{set_point} * 1000; }
  // A speed of 0 holds the axis where it is.
  [[nodiscard]] bool Moving(bool running) const { return running && speed > 0 && !AtSetPoint(); }
};

// What the simulated device does with the commands it accepts, as plain arithmetic over an injected
// clock: the same frames at the same clock readings give the same replies, so tests can assert
// values.
//
// Motion: while running, each axis moves toward its set-point at 10 x speed position units a
// second. Readings: current = 10 + 2 x (sum of the speeds of the axes moving now), at most 255;
//           voltage = 240 - current / 8 (integer division), so the supply sags under load.
class DeviceModel {
 public:
  using Clock = std::function<std::chrono::milliseconds()>;

  static constexpr int kInitialPosition = 1500;
  static constexpr int kInitialSpeed = 100;
  static constexpr int kUnitsPerSecondPerSpeed = 10;
  static constexpr int kIdleCurrent = 10;
  static constexpr int kCurrentPerSpeed = 2;
  static constexpr int kNominalVoltage = 240;
  static constexpr int kSagDivisor = 8;

  explicit DeviceModel(Clock clock);

  // Applies one accepted command. A shut-down device ignores every further command. Returns the
  // reading to send back for a feedback request, and nothing for every other command.
  std::optional<Readings> Apply(const Command& command);

  // The reading at the clock's present time.
  [[nodiscard]] Readings ReadingNow();

  [[nodiscard]] bool Running() const { return running_; }
  [[nodiscard]] bool ShutDown() const { return shut_down_; }
  // The axis with its position brought up to the clock's present time.
  [[nodiscard]] const Axis& AxisNow(int id);
  [[nodiscard]] bool AnyMoving();

 private:
  void AdvanceTo(std::chrono::milliseconds now);

  Clock clock_;
  std::chrono::milliseconds last_{};
  std::array<Axis, kDeviceCount> axes_{};
  // The panel's toggle starts as "Stop", so the first click sends stop: the device starts running.
  bool running_ = true;
  bool shut_down_ = false;
};

}  // namespace korvalen::sim
