#include "panel/traffic_log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

#include "panel/log_file_kind.h"
#include "protocol/command.h"
#include "serial/serial_link.h"

namespace korvalen {
namespace {

// A burst of noise is summed up by its size and its first bytes; a log line stays a line.
constexpr std::size_t kBytesShown = 16;

std::string LineEventName(std::int16_t code) {
  switch (code) {
    case SerialLink::kEventBreak:
      return "line error: break";
    case SerialLink::kEventFrame:
      return "line error: framing (a wrong baud rate or line settings?)";
    case SerialLink::kEventOverrun:
      return "line error: overrun";
    case SerialLink::kEventRxOver:
      return "line error: receive buffer overflow";
    case SerialLink::kEventRxParity:
      return "line error: parity";
    default:
      return "line event " + std::to_string(code);
  }
}

// "(FT232R USB UART, serial number A1B2C3)", or nothing where the host says nothing.
std::string Adapter(const PortEntry& port) {
  std::string known = port.description;
  if (!port.serial_number.empty()) {
    known += (known.empty() ? "" : ", ") + std::string("serial number ") + port.serial_number;
  }
  return known.empty() ? known : " (" + known + ")";
}

// Reasons that list the host's ports run over several lines.
std::string OneLine(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

}  // namespace

TrafficLog::TrafficLog(const QString& file, OpenedPort opened_port, Report report, qint64 limit)
    : opened_port_(std::move(opened_port)), report_(std::move(report)), limit_(limit) {
  bool opened = false;
  if (file == QStringLiteral("-")) {
    opened = file_.open(stderr, QIODevice::WriteOnly);
  } else {
    // A log an earlier run left is kept; the start line tells the runs apart.
    file_.setFileName(file);
    opened = file_.open(QIODevice::WriteOnly | QIODevice::Append);
  }
  if (!opened) {
    Fail(QStringLiteral("cannot open the log ") + file);
    return;
  }
  size_ = file_.size();
  // With its offset from UTC, so every later line's milliseconds read as a clock time anywhere.
  const QDateTime now = QDateTime::currentDateTime();
  Add("--", QStringLiteral("%1 %2 started %3")
                .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                     now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs))
                .toStdString());
}

TrafficLog::~TrafficLog() {
  Flush();
}

void TrafficLog::Sent(const CommandFrame& frame, std::size_t held) {
  held_.push_back(ToHex(frame) + "  " + Describe(ReadCommand(frame)));
  Settle(held);
}

void TrafficLog::LineEvent(std::int16_t code) {
  if (code == SerialLink::kEventSend) return Settle(0);
  Add("--", LineEventName(code));
}

void TrafficLog::Unsent(std::size_t bytes) {
  Settle(bytes);
  for (const std::string& frame : held_) {
    Add("--", "unsent " + frame + " (the port closed before the system took it)");
  }
  held_.clear();
}

void TrafficLog::Settle(std::size_t held) {
  // Frames go whole and in order, so the bytes still held are the last frames'.
  const std::size_t frames_held = (held + kFrameSize - 1) / kFrameSize;
  while (held_.size() > frames_held) {
    Add("out", held_.front());
    held_.pop_front();
  }
}

void TrafficLog::Received(std::span<const std::uint8_t> bytes, Reception reception) {
  const std::optional<ReplyFrame> reply = ReplyFrame::From(bytes);
  if (reception == Reception::kNotAReply || !reply) {
    const std::string more = bytes.size() > kBytesShown ? " ..." : "";
    Add("in", std::to_string(bytes.size()) + " bytes " +
                  ToHex(bytes.first(std::min(bytes.size(), kBytesShown))) + more +
                  "  not a reply (dropped)");
    return;
  }
  const std::string reading = "reply current " + std::to_string(reply->Current()) + " voltage " +
                              std::to_string(reply->Voltage());
  Add("in", ToHex(bytes) + "  " + reading +
                (reception == Reception::kShown ? " (shown)"
                                                : " (dropped: no feedback request pending)"));
}

void TrafficLog::Connected(std::uint8_t port, const std::string& settings, bool returned) {
  const PortEntry opened = opened_port_ ? opened_port_() : PortEntry();
  Add("--", (returned ? "reconnect port " : "connect port ") + std::to_string(port) + " " +
                opened.path + " " + settings + Adapter(opened) +
                (returned ? " (the device came back)" : ""));
}

// A close the panel does not report as unsent (Unsent comes first) dropped nothing: what the link
// held went to the system before the port closed.
void TrafficLog::Disconnected() {
  Settle(0);
  Add("--", "disconnect");
}

void TrafficLog::ConnectError(const std::string& reason) {
  Settle(0);
  Add("--", "connect error: " + OneLine(reason));
}

void TrafficLog::Lost(const std::string& reason) {
  Settle(0);
  Add("--", "port lost: " + OneLine(reason));
}

void TrafficLog::WindowClosed(bool port_released) {
  Settle(0);
  Add("--",
      port_released ? "window closed: port released, no shutdown frame sent" : "window closed");
}

void TrafficLog::Refused(const std::string& text, const std::string& reason) {
  Add("--", "refused: ID \"" + text + "\": " + reason);
}

void TrafficLog::Add(const char* direction, const std::string& text) {
  if (failed_) return;
  const long long since =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%lld.%03lld %s ", since / 1000, since % 1000, direction);
  queued_ += stamp;
  queued_ += text;
  queued_ += '\n';
  if (!flush_posted_) {
    flush_posted_ = true;
    QMetaObject::invokeMethod(this, &TrafficLog::Flush, Qt::QueuedConnection);
  }
}

void TrafficLog::Flush() {
  flush_posted_ = false;
  if (failed_ || queued_.empty()) return;
  const auto size = static_cast<qint64>(queued_.size());
  const QString name = file_.fileName();
  if (!name.isEmpty() && size_ > 0 && size_ + size > limit_ && Rotates()) {
    const QString older = name + QStringLiteral(".1");
    QFile::remove(older);
    if (!file_.rename(older)) return Fail(QStringLiteral("cannot rename the log to ") + older);
    file_.setFileName(name);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
      return Fail(QStringLiteral("cannot open the log ") + name);
    }
    size_ = 0;
  }
  if (file_.write(queued_.data(), size) != size || !file_.flush()) {
    return Fail(QStringLiteral("cannot write the log ") + (name.isEmpty() ? "-" : name));
  }
  size_ += size;
  queued_.clear();
}

bool TrafficLog::Rotates() {
  if (!rotates_) rotates_ = IsRegularFile(file_.fileName());
  return *rotates_;
}

void TrafficLog::Fail(const QString& what) {
  failed_ = true;
  queued_.clear();
  const QString why = file_.errorString();
  file_.close();
  if (report_) {
    report_((what + QStringLiteral(": ") + why + QStringLiteral("; going on without it"))
                .toStdString());
  }
}

}  // namespace korvalen
