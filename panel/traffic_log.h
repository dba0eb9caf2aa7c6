#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "panel/panel_observer.h"
#include "serial/port_table.h"

namespace korvalen {

// The --log record: a line for every frame, reading and link event, with the time since the start.
// Lines are queued inside the panel's event procedures and written from the event loop, so no
// frame ever waits for a disk. A frame is `out` once the system has taken it; one the link still
// holds waits for that, and one a close dropped is logged unsent. A regular file grows to a limit,
// then becomes FILE.1 and a new one starts; anything else (a link, a pipe, a device) is written
// through and never renamed. A file that cannot be written is reported once and the panel goes on
// without it.
class TrafficLog final : public QObject, public PanelObserver {
 public:
  static constexpr qint64 kLimit = qint64{10} << 20;
  // The device the last connect opened, for the connect line.
  using OpenedPort = std::function<PortEntry()>;
  // Told, once, why the log stopped or never started.
  using Report = std::function<void(const std::string&)>;

  // `file` "-" is standard error, which is never renamed.
  TrafficLog(const QString& file, OpenedPort opened_port, Report report, qint64 limit = kLimit);
  // Writes what is still queued: the lines of an Exit come after the event loop has ended.
  ~TrafficLog() override;
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  void Sent(const CommandFrame& frame, std::size_t held) override;
  void Received(std::span<const std::uint8_t> bytes, Reception reception) override;
  void LineEvent(std::int16_t code) override;
  void Unsent(std::size_t bytes) override;
  void Connected(std::uint8_t port, const std::string& settings, bool returned) override;
  void Disconnected() override;
  void ConnectError(const std::string& reason) override;
  void Lost(const std::string& reason) override;
  void Refused(const std::string& text, const std::string& reason) override;
  void WindowClosed(bool port_released) override;

  // Writes the queued lines now; the event loop does this after each event that queued one.
  void Flush();

 private:
  void Add(const char* direction, const std::string& text);
  // The held frames but the last `held` bytes' have gone to the system: they are `out` now.
  void Settle(std::size_t held);
  // Whether a full log may become FILE.1: only a regular file, asked once.
  [[nodiscard]] bool Rotates();
  void Fail(const QString& what);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start_ = Clock::now();
  QFile file_;
  OpenedPort opened_port_;
  Report report_;
  qint64 limit_;
  // The file's size, kept here so a flush asks the system nothing but the write.
  qint64 size_ = 0;
  std::string queued_;
  // Frames the link holds, oldest first, as their `out` lines will read.
  std::deque<std::string> held_;
  std::optional<bool> rotates_;
  bool flush_posted_ = false;
  bool failed_ = false;
};

}  // namespace korvalen
