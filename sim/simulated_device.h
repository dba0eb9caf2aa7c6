#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

#include "protocol/command.h"
#include "sim/device_model.h"
#include "sim/frame_decoder.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::sim {

// How the device misbehaves when it answers a feedback request.
enum class FaultMode {
  kNone,            // one 7-byte reply at once
  kNoReply,         // the request is taken but never answered
  kDelayedReply,    // the reply comes after FaultSettings::reply_delay
  kSplitReply,      // split_at bytes, a pause of split_pause, then the rest
  kStrayByte,       // the reply and one extra byte in one write: 8 bytes wait
  kWrongCheckByte,  // byte 4 of the reply is off by one
  kGarbageBurst,    // garbage_size bytes of noise, then the reply
  kHangUp,          // the line is closed instead of answered
};

inline constexpr std::size_t kFaultModeCount = static_cast<std::size_t>(FaultMode::kHangUp) + 1;

struct FaultSettings {
  std::chrono::milliseconds reply_delay{300};
  std::chrono::milliseconds split_pause{50};
  std::size_t split_at = 3;
  std::size_t garbage_size = std::size_t{1} << 20;
};

// One frame the device accepted, as it came and as the device read it.
struct ReceivedFrame {
  CommandFrame bytes{};
  Command command;
};

// The positioning device at the far end of a pseudo-terminal, so the panel, its tests and the demo
// can run without hardware. It lives in its owner's event loop: reads and writes happen only when
// the master is ready, so it never blocks the panel and costs nothing while idle.
class SimulatedDevice : public QObject {
  Q_OBJECT

 public:
  static constexpr std::size_t kHistorySize = 50;

  // Throws std::system_error if no pseudo-terminal can be made.
  explicit SimulatedDevice(QObject* parent = nullptr);
  SimulatedDevice(DeviceModel::Clock clock, QObject* parent);

  // What to open on the panel's side, e.g. /dev/pts/3.
  [[nodiscard]] const std::string& SlavePath() const { return pty_.SlavePath(); }
  // Ports in which port 1 is the panel's side of this device's line, and no other number names a
  // port.
  [[nodiscard]] PortSource Table() const {
    return FixedPorts(PortTable::One(SlavePath(), "Simulated device"));
  }
  [[nodiscard]] std::string LineSettings() const { return pty_.SlaveSettings(); }

  void SetFaultMode(FaultMode mode);
  [[nodiscard]] FaultMode Mode() const { return mode_; }
  void SetFaultSettings(const FaultSettings& settings) { settings_ = settings; }

  [[nodiscard]] DeviceModel& Model() { return model_; }
  [[nodiscard]] std::size_t RejectedFrames() const { return decoder_.RejectedFrames(); }
  [[nodiscard]] std::size_t SkippedBytes() const { return decoder_.SkippedBytes(); }
  // Newest first, at most kHistorySize.
  [[nodiscard]] const std::deque<ReceivedFrame>& History() const { return history_; }
  [[nodiscard]] std::size_t RepliesSent() const { return replies_sent_; }
  // Bytes handed to the line but not yet taken by the pseudo-terminal.
  [[nodiscard]] std::size_t PendingOutput() const {
    return static_cast<std::size_t>(output_.size()) - output_offset_;
  }
  [[nodiscard]] bool Open() const { return pty_.Open(); }

  // Queues noise on the line now, whatever the fault mode.
  void SendGarbage(std::size_t size);
  // Closes the line; the panel's side sees it hang up. The device stays closed.
  void HangUp();

 Q_SIGNALS:
  void FrameReceived(const QByteArray& frame);
  void FrameRejected();
  void ReplySent(const QByteArray& reply);
  void StateChanged();
  void HungUp();

 private:
  void ReadReady();
  void WriteReady();
  void Answer(const Readings& reading);
  void Queue(const QByteArray& bytes, bool is_reply);

  PseudoTerminal pty_;
  DeviceModel model_;
  FrameDecoder decoder_;
  QSocketNotifier* read_notifier_;  // owned by this, as Qt children
  QSocketNotifier* write_notifier_;
  QByteArray output_;
  std::size_t output_offset_ = 0;
  std::deque<ReceivedFrame> history_;
  std::size_t replies_sent_ = 0;
  std::uint32_t noise_state_ = 0x2545F491U;
  FaultMode mode_ = FaultMode::kNone;
  FaultSettings settings_;
};

}  // namespace korvalen::sim
