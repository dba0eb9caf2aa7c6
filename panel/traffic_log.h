#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <span>
#include <string>

#include "panel/panel_observer.h"

namespace korvalen {

// The --log record: a line for every frame, reading and link event, with the time since the start.
// Lines are queued inside the panel's event procedures and written from the event loop, so no
// frame ever waits for a disk. A file grows to a limit, then becomes FILE.1 and a new one starts;
// a file that cannot be written is reported once and the panel goes on without it.
class TrafficLog final : public QObject, public PanelObserver {
 public:
  static constexpr qint64 kLimit = qint64{10} << 20;
  // The device the last connect opened, for the connect line.
  using PortPath = std::function<std::string()>;
  // Told, once, why the log stopped or never started.
  using Report = std::function<void(const std::string&)>;

  // `file` "-" is standard error, which is never renamed.
  TrafficLog(const QString& file, PortPath port_path, Report report, qint64 limit = kLimit);
  // Writes what is still queued: the lines of an Exit come after the event loop has ended.
  ~TrafficLog() override;
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  void Sent(const CommandFrame& frame) override;
  void Received(std::span<const std::uint8_t> bytes, Reception reception) override;
  void Connected(std::uint8_t port, const std::string& settings, bool returned) override;
  void Disconnected() override;
  void ConnectError(const std::string& reason) override;
  void Lost(const std::string& reason) override;
  void Refused(const std::string& text, const std::string& reason) override;

  // Writes the queued lines now; the event loop does this after each event that queued one.
  void Flush();

 private:
  void Add(const char* direction, const std::string& text);
  void Fail(const QString& what);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start_ = Clock::now();
  QFile file_;
  PortPath port_path_;
  Report report_;
  qint64 limit_;
  // The file's size, kept here so a flush asks the system nothing but the write.
  qint64 size_ = 0;
  std::string queued_;
  bool flush_posted_ = false;
  bool failed_ = false;
};

}  // namespace korvalen
