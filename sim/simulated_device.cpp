#include "sim/simulated_device.h"

#include <unistd.h>

#include <QTimer>
#include <array>
#include <cerrno>
#include <utility>

namespace korvalen::sim {
namespace {

std::chrono::milliseconds SteadyNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

QByteArray ToBytes(const CommandFrame& frame) {
  return {reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size())};
}

}  // namespace

SimulatedDevice::SimulatedDevice(QObject* parent) : SimulatedDevice(SteadyNow, parent) {
}

SimulatedDevice::SimulatedDevice(DeviceModel::Clock clock, QObject* parent)
    : QObject(parent),
      model_(std::move(clock)),
      read_notifier_(new QSocketNotifier(pty_.Master(), QSocketNotifier::Read, this)),
      write_notifier_(new QSocketNotifier(pty_.Master(), QSocketNotifier::Write, this)) {
  write_notifier_->setEnabled(false);
  connect(read_notifier_, &QSocketNotifier::activated, this, &SimulatedDevice::ReadReady);
  connect(write_notifier_, &QSocketNotifier::activated, this, &SimulatedDevice::WriteReady);
}

void SimulatedDevice::SetFaultMode(FaultMode mode) {
  mode_ = mode;
  Q_EMIT StateChanged();
}

void SimulatedDevice::ReadReady() {
  std::array<std::uint8_t, 4096> buffer{};
  while (pty_.Open()) {
    const ssize_t got = ::read(pty_.Master(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
      HangUp();
      return;
    }
    const std::size_t rejected_before = decoder_.RejectedFrames();
    const auto frames = decoder_.Feed(std::span(buffer.data(), static_cast<std::size_t>(got)));
    for (std::size_t i = rejected_before; i < decoder_.RejectedFrames(); ++i) {
      Q_EMIT FrameRejected();
    }
    for (const CommandFrame& frame : frames) {
      const ReceivedFrame received{frame, ReadCommand(frame)};
      history_.push_front(received);
      if (history_.size() > kHistorySize) history_.pop_back();
      Q_EMIT FrameReceived(ToBytes(frame));
      const std::optional<Readings> reading = model_.Apply(received.command);
      Q_EMIT StateChanged();
      if (reading) Answer(*reading);
      if (!pty_.Open()) return;
    }
  }
}

void SimulatedDevice::Answer(const Readings& reading) {
  std::array<std::uint8_t, kFrameSize> reply = ReplyFrame::Encode(reading).Bytes();
  switch (mode_) {
    case FaultMode::kNone:
      Queue(ToBytes(reply), true);
      return;
    case FaultMode::kNoReply:
      return;
    case FaultMode::kDelayedReply:
      QTimer::singleShot(settings_.reply_delay, this,
                         [this, reply] { Queue(ToBytes(reply), true); });
      return;
    case FaultMode::kSplitReply: {
      const QByteArray bytes = ToBytes(reply);
      const auto first = static_cast<qsizetype>(std::min(settings_.split_at, kFrameSize));
      Queue(bytes.first(first), false);
      QTimer::singleShot(settings_.split_pause, this, [this, bytes, first] {
        if (!pty_.Open()) return;
        Queue(bytes.sliced(first), false);
        ++replies_sent_;
        Q_EMIT ReplySent(bytes);
      });
      return;
    }
    case FaultMode::kStrayByte:
      Queue(ToBytes(reply) + QByteArray(1, '\x55'), true);
      return;
    case FaultMode::kWrongCheckByte:
      reply[4] = static_cast<std::uint8_t>(reply[4] + 1);
      Queue(ToBytes(reply), true);
      return;
    case FaultMode::kGarbageBurst:
      SendGarbage(settings_.garbage_size);
      Queue(ToBytes(reply), true);
      return;
    case FaultMode::kHangUp:
      HangUp();
      return;
  }
}

void SimulatedDevice::SendGarbage(std::size_t size) {
  QByteArray noise(static_cast<qsizetype>(size), Qt::Uninitialized);
  for (char& byte : noise) {
    // xorshift32: the same noise every run, so a failure seen once can be seen again.
    noise_state_ ^= noise_state_ << 13;
    noise_state_ ^= noise_state_ >> 17;
    noise_state_ ^= noise_state_ << 5;
    byte = static_cast<char>(noise_state_ & 0xFF);
  }
  Queue(noise, false);
}

void SimulatedDevice::Queue(const QByteArray& bytes, bool is_reply) {
  if (!pty_.Open()) return;
  if (output_offset_ == static_cast<std::size_t>(output_.size())) {
    output_.clear();
    output_offset_ = 0;
  }
  output_ += bytes;
  WriteReady();
  if (is_reply) {
    ++replies_sent_;
    Q_EMIT ReplySent(bytes);
  }
}

void SimulatedDevice::WriteReady() {
  while (pty_.Open() && output_offset_ < static_cast<std::size_t>(output_.size())) {
    const ssize_t put = ::write(pty_.Master(), output_.constData() + output_offset_,
                                static_cast<std::size_t>(output_.size()) - output_offset_);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (put < 0) {
      HangUp();
      return;
    }
    output_offset_ += static_cast<std::size_t>(put);
  }
  // Wait for room only while something waits to go, so an idle device costs nothing.
  if (pty_.Open()) write_notifier_->setEnabled(PendingOutput() > 0);
}

void SimulatedDevice::HangUp() {
  if (!pty_.Open()) return;
  // This may run inside a notifier's own signal, so the notifiers go only once it has returned.
  read_notifier_->setEnabled(false);
  write_notifier_->setEnabled(false);
  std::exchange(read_notifier_, nullptr)->deleteLater();
  std::exchange(write_notifier_, nullptr)->deleteLater();
  pty_.HangUp();
  output_.clear();
  output_offset_ = 0;
  Q_EMIT HungUp();
  Q_EMIT StateChanged();
}

}  // namespace korvalen::sim
