#include "panel/traffic_log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

#include "protocol/command.h"

namespace korvalen {
namespace {

// A burst of noise is summed up by its size and its first bytes; a log line stays a line.
constexpr std::size_t kBytesShown = 16;

// Reasons that list the host's ports run over several lines.
std::string OneLine(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

}  // namespace

TrafficLog::TrafficLog(const QString& file, PortPath port_path, Report report, qint64 limit)
    : port_path_(std::move(port_path)), report_(std::move(report)), limit_(limit) {
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
  Add("--", QStringLiteral("%1 %2 started %3")
                .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                     QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
                .toStdString());
}

TrafficLog::~TrafficLog() {
  Flush();
}

void TrafficLog::Sent(const CommandFrame& frame) {
  Add("out", ToHex(frame) + "  " + Describe(ReadCommand(frame)));
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
  const std::string path = port_path_ ? port_path_() : std::string();
  Add("--", (returned ? "reconnect port " : "connect port ") + std::to_string(port) + " " + path +
                " " + settings + (returned ? " (the device came back)" : ""));
}

void TrafficLog::Disconnected() {
  Add("--", "disconnect");
}

void TrafficLog::ConnectError(const std::string& reason) {
  Add("--", "connect error: " + OneLine(reason));
}

void TrafficLog::Lost(const std::string& reason) {
  Add("--", "port lost: " + OneLine(reason));
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
  if (!name.isEmpty() && size_ > 0 && size_ + size > limit_) {
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
