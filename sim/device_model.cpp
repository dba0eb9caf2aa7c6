#include "sim/device_model.h"

#include <algorithm>
#include <utility>

namespace korvalen::sim {

DeviceModel::DeviceModel(Clock clock) : clock_(std::move(clock)), last_(clock_()) {
  for (Axis& axis : axes_) {
    axis.set_point = kInitialPosition;
    axis.speed = kInitialSpeed;
    axis.position_milli = std::int64_t{kInitialPosition} * 1000;
  }
}

void DeviceModel::AdvanceTo(std::chrono::milliseconds now) {
  const std::int64_t elapsed = (now - last_).count();
  last_ = std::max(last_, now);
  if (!running_ || elapsed <= 0) return;
  for (Axis& axis : axes_) {
    const std::int64_t target = std::int64_t{axis.set_point} * 1000;
    // Units per second times milliseconds gives thousandths of a unit.
    const std::int64_t step = std::int64_t{axis.speed} * kUnitsPerSecondPerSpeed * elapsed;
    if (axis.position_milli < target) {
      axis.position_milli = std::min(target, axis.position_milli + step);
    } else if (axis.position_milli > target) {
      axis.position_milli = std::max(target, axis.position_milli - step);
    }
  }
}

std::optional<Readings> DeviceModel::Apply(const Command& command) {
  AdvanceTo(clock_());
  if (shut_down_) return std::nullopt;
  using Kind = Command::Kind;
  switch (command.kind) {
    case Kind::kPosition:
      axes_[static_cast<std::size_t>(command.id)].set_point = command.value;
      break;
    case Kind::kSpeed:
      axes_[static_cast<std::size_t>(command.id)].speed = command.value;
      break;
    case Kind::kFeedback:
      return ReadingNow();
    case Kind::kRun:
      running_ = true;
      break;
    case Kind::kStop:
      running_ = false;
      break;
    case Kind::kShutdown:
      running_ = false;
      shut_down_ = true;
      break;
    case Kind::kUnknown:
      break;
  }
  return std::nullopt;
}

Readings DeviceModel::ReadingNow() {
  AdvanceTo(clock_());
  int load = 0;
  for (const Axis& axis : axes_) {
    if (axis.Moving(running_)) load += axis.speed;
  }
  const int current = std::min(255, kIdleCurrent + kCurrentPerSpeed * load);
  const int voltage = kNominalVoltage - current / kSagDivisor;
  return {static_cast<std::uint8_t>(current), static_cast<std::uint8_t>(voltage)};
}

const Axis& DeviceModel::AxisNow(int id) {
  AdvanceTo(clock_());
  return axes_.at(static_cast<std::size_t>(id));
}

bool DeviceModel::AnyMoving() {
  AdvanceTo(clock_());
  return std::any_of(axes_.begin(), axes_.end(),
                     [this](const Axis& axis) { return axis.Moving(running_); });
}

}  // namespace korvalen::sim
