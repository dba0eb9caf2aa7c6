#include "serial/host_serial_link.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <array>
#include <chrono>
#include <map>
#include <optional>

#include "serial/line_events.h"
#include "serial/line_guard.h"
#include "serial/line_settings.h"

namespace korvalen {
namespace {

using Clock = std::chrono::steady_clock;

// The panel's replies are 7 bytes; fewer waiting is a reply still on its way.
constexpr qint64 kReceiveThreshold = 7;
// A held line (no reader, flow stopped) must not hang the exit button for ever.
constexpr auto kDrainLimit = std::chrono::seconds(2);

// In the order of Parity's values.
constexpr std::array kQtParity = {QSerialPort::NoParity, QSerialPort::EvenParity,
                                  QSerialPort::OddParity, QSerialPort::MarkParity,
                                  QSerialPort::SpaceParity};

PortEntry Entry(const QSerialPortInfo& info, const QString& path) {
  return {path.toStdString(), info.description().toStdString(), info.serialNumber().toStdString()};
}

#ifndef Q_OS_WIN
// The /dev/serial/by-id name of each device that has one, by the device's own path.
std::map<QString, QString> ByIdNames() {
  std::map<QString, QString> names;
  const QDir folder(QStringLiteral("/dev/serial/by-id"));
  for (const QFileInfo& link :
       folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    names.emplace(link.canonicalFilePath(), link.absoluteFilePath());
  }
  return names;
}
#endif

std::string NotThere(const std::string& path, const PortTable& table) {
  return "no such port: " + path + " is not there\n" + table.Describe();
}

std::string PermissionDenied(const std::string& path) {
  return "permission denied: " + path + " (add your user to the dialout group and log in again)";
}

std::string Busy(const std::string& path) {
  return "busy: another program has " + path + " open";
}

}  // namespace

PortSource HostPorts() {
  return [] {
#ifdef Q_OS_WIN
    PortTable table;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
      bool numbered = false;
      const int number = info.portName().mid(3).toInt(&numbered);
      if (numbered) table.Put(number, Entry(info, info.portName()));
    }
    return table;
#else
    const std::map<QString, QString> by_id = ByIdNames();
    std::vector<PortEntry> reported;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
      PortEntry& entry = reported.emplace_back(Entry(info, info.systemLocation()));
      const auto name = by_id.find(QFileInfo(info.systemLocation()).canonicalFilePath());
      if (name != by_id.end()) entry.by_id = name->second.toStdString();
    }
    return PortTable::Numbered(std::move(reported));
#endif
  };
}

// Owns the Qt port; a QObject so queued notifications die with the link.
class HostSerialLink::Port : public QObject {
 public:
  explicit Port(PortSource ports) : ports_(std::move(ports)) {
    connect(&serial_, &QSerialPort::readyRead, this, &Port::OnReadyRead);
    connect(&serial_, &QSerialPort::errorOccurred, this, &Port::OnError);
    connect(&serial_, &QSerialPort::bytesWritten, this, &Port::OnBytesWritten);
  }

  // Bytes already written still reach the device when the owner goes away.
  ~Port() override {
    try {
      Close();
    } catch (const SerialError&) {
      // Closed anyway; nobody is left to tell.
    }
  }

  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  void Open() {
    if (IsOpen()) {
      throw SerialError("port " + path_ + " is already open");
    }
    // What the last close dropped was told after that close; an open starts afresh.
    dropped_ = 0;
    // One look at the host's ports answers both the number and the message that lists them.
    const PortTable table = ports_ ? ports_() : PortTable();
    const std::optional<PortEntry> entry = table.Entry(port_number_);
    if (!entry) {
      throw SerialError("no such port: " + std::to_string(port_number_) + "\n" + table.Describe());
    }
    serial_.setBaudRate(settings_.baud);
    serial_.setParity(kQtParity.at(static_cast<std::size_t>(settings_.parity)));
    serial_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.data_bits));
    serial_.setStopBits(settings_.stop_bits == StopBits::kTwo ? QSerialPort::TwoStop
                                                              : QSerialPort::OneStop);
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    switch (line_guard::OpenExclusively(serial_, entry->path)) {
      case line_guard::OpenResult::kOpened:
        break;
      case line_guard::OpenResult::kMissing:
        throw SerialError(NotThere(entry->path, table));
      case line_guard::OpenResult::kDenied:
        throw SerialError(PermissionDenied(entry->path));
      case line_guard::OpenResult::kBusy:
        throw SerialError(Busy(entry->path));
      case line_guard::OpenResult::kFailed:
        throw SerialError(OpenFailure(entry->path, table));
    }
    path_ = entry->path;
    last_opened_ = {port_number_, *entry};
    line_errors_ = line_guard::ReadLineErrors(serial_);
  }

  void Close() {
    if (!IsOpen()) {
      return;
    }
    const QScopedValueRollback<bool> in_call(in_call_, true);
    const Clock::time_point deadline = Clock::now() + kDrainLimit;
    // Qt hands its buffer to the system a piece at a time while it waits.
    while (serial_.bytesToWrite() > 0 && Clock::now() < deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (!serial_.waitForBytesWritten(static_cast<int>(left.count())) &&
          line_guard::DeviceGone(serial_)) {
        break;
      }
    }
    if (serial_.bytesToWrite() == 0 && line_guard::DrainSystemQueue(serial_, deadline)) {
      CloseDevice();
      return;
    }
    if (line_guard::DeviceGone(serial_)) {
      ThrowLost("the line to " + path_ + " went away before the last bytes were sent");
    }
    const std::size_t left =
        static_cast<std::size_t>(serial_.bytesToWrite()) + line_guard::SystemQueueSize(serial_);
    const std::string path = path_;
    CloseDevice();
    throw SerialError("closed " + path +
                      (left > 0 ? " with " + std::to_string(left) + " bytes unsent"
                                : " before the transmitter had sent its last bytes") +
                      ": the line took none for 2 s");
  }

  void ClearInput() {
    RequireOpen();
    const QScopedValueRollback<bool> in_call(in_call_, true);
    // Empties Qt's buffer and the system's queue both; only a device that has gone refuses.
    if (!serial_.clear(QSerialPort::Input)) {
      ThrowLost(WentAway());
    }
  }

  void Write(std::span<const std::uint8_t> bytes) {
    RequireOpen();
    const QScopedValueRollback<bool> in_call(in_call_, true);
    serial_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    // Puts on the line at once what the line takes now; the rest waits in Qt's buffer, in order,
    // for the line to take it.
    if (!serial_.flush()) {
      if (line_guard::DeviceGone(serial_)) {
        ThrowLost(WentAway());
      }
      serial_.clearError();
    }
    held_ = serial_.bytesToWrite() > 0;
  }

  [[nodiscard]] std::size_t Held() const {
    return IsOpen() ? static_cast<std::size_t>(serial_.bytesToWrite()) : dropped_;
  }

  [[nodiscard]] std::vector<std::uint8_t> Read() {
    RequireOpen();
    const QByteArray bytes = serial_.readAll();
    return {bytes.begin(), bytes.end()};
  }

  [[nodiscard]] bool IsOpen() const { return serial_.isOpen(); }

  PortSource ports_;
  std::int16_t port_number_ = 1;
  LineSettings settings_;
  std::int16_t event_ = 0;
  std::function<void()> on_comm_;
  std::function<void()> on_port_lost_;
  std::pair<std::int16_t, PortEntry> last_opened_;

 private:
  void RequireOpen() const {
    if (!IsOpen()) {
      throw SerialError("the port is not open");
    }
  }

  void OnReadyRead() {
    // Inside a call (the close waiting for the line) a receive event would run inside it.
    if (in_call_ || !IsOpen()) {
      return;
    }
    ReportLineErrors();
    if (IsOpen() && serial_.bytesAvailable() >= kReceiveThreshold) {
      Raise(kEventReceive);
    }
  }

  void OnBytesWritten() {
    // Inside a call the caller asks OutBufferCount itself; a close hands over everything or drops
    // it.
    if (!held_ || in_call_ || !IsOpen() || serial_.bytesToWrite() > 0) {
      return;
    }
    held_ = false;
    Raise(kEventSend);
  }

  void ReportLineErrors() {
    if (!line_errors_) {
      return;
    }
    const std::optional<LineErrorCounts> now = line_guard::ReadLineErrors(serial_);
    if (!now) {
      return;
    }
    const LineErrorCounts before = *line_errors_;
    line_errors_ = now;
    for (const std::int16_t code : LineEventCodes(before, *now)) {
      if (IsOpen()) {
        Raise(code);
      }
    }
  }

  void Raise(std::int16_t code) {
    event_ = code;
    if (const std::function<void()> handler = on_comm_) {
      handler();
    }
  }

  void OnError(QSerialPort::SerialPortError error) {
    // Inside a call, the call looks at what failed and says so itself. From the event loop, a
    // vanished USB adapter reports a resource error and a pseudo-terminal whose other side closed a
    // read error; either way the device is gone.
    if (in_call_ || !IsOpen()) {
      return;
    }
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
        error == QSerialPort::WriteError) {
      Lost();
    }
  }

  [[nodiscard]] std::string WentAway() const {
    return path_ + " went away: " + serial_.errorString().toStdString();
  }

  // Closes without draining (nothing can drain into a missing device) and tells the owner later,
  // from the event loop, so the handler never runs inside another call.
  void Lost() {
    CloseDevice();
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (const std::function<void()> handler = on_port_lost_) {
            handler();
          }
        },
        Qt::QueuedConnection);
  }

  // The caller hears of the loss at once; the owner's notice of it still comes, once.
  [[noreturn]] void ThrowLost(const std::string& reason) {
    Lost();
    throw SerialError(reason);
  }

  // Whatever Qt still holds is dropped with the port; the system's queue is emptied too, so the
  // system's own close has nothing left to wait for.
  void CloseDevice() {
    // A device that has gone fails the clear, and its error must not report the loss again.
    const QScopedValueRollback<bool> in_call(in_call_, true);
    dropped_ = static_cast<std::size_t>(serial_.bytesToWrite());
    held_ = false;
    if (dropped_ > 0 || line_guard::SystemQueueSize(serial_) > 0) {
      serial_.clear(QSerialPort::Output);
    }
    serial_.close();
    line_errors_.reset();
  }

  [[nodiscard]] std::string OpenFailure(const std::string& path, const PortTable& table) const {
    const std::string message = serial_.errorString().toStdString();
    switch (serial_.error()) {
      case QSerialPort::DeviceNotFoundError:
        return NotThere(path, table);
      case QSerialPort::PermissionError:
        // Whatever the system lets us see was free, so Qt's lock file or the driver's exclusive
        // flag stopped us: someone else has it. Only a lock file Qt could not make is ours to fix.
        if (message.find("lock file") != std::string::npos) {
          return "cannot open " + path + ": " + message;
        }
        return Busy(path);
      case QSerialPort::UnsupportedOperationError:
        return "settings not supported by " + path + ": " + message;
      default:
        return "cannot open " + path + ": " + message;
    }
  }

  QSerialPort serial_;
  std::string path_;
  std::optional<LineErrorCounts> line_errors_;
  // Bytes the last write left in Qt's buffer, not yet reported gone by kEventSend.
  bool held_ = false;
  // What the last close dropped from Qt's buffer.
  std::size_t dropped_ = 0;
  bool in_call_ = false;
};

HostSerialLink::HostSerialLink(PortSource ports) : port_(std::make_unique<Port>(std::move(ports))) {
}

HostSerialLink::~HostSerialLink() = default;

void HostSerialLink::SetCommPort(std::int16_t port) {
  port_->port_number_ = port;
}

void HostSerialLink::SetSettings(const std::string& settings) {
  port_->settings_ = ParseLineSettings(settings);
}

bool HostSerialLink::PortOpen() const {
  return port_->IsOpen();
}

void HostSerialLink::SetPortOpen(bool open) {
  if (open) {
    port_->Open();
  } else {
    port_->Close();
  }
}

void HostSerialLink::SetInBufferCount(int count) {
  if (count != 0) {
    throw SerialError("the receive buffer can only be emptied (count 0)");
  }
  port_->ClearInput();
}

void HostSerialLink::SetOutput(std::span<const std::uint8_t> bytes) {
  port_->Write(bytes);
}

std::size_t HostSerialLink::OutBufferCount() const {
  return port_->Held();
}

std::int16_t HostSerialLink::CommEvent() const {
  return port_->event_;
}

std::vector<std::uint8_t> HostSerialLink::Input() {
  return port_->Read();
}

std::string HostSerialLink::PortName() const {
  if (!port_->IsOpen()) return {};
  const auto& [number, entry] = port_->last_opened_;
  return PortTable({{number, entry}}).Describe();
}

void HostSerialLink::SetOnComm(std::function<void()> handler) {
  port_->on_comm_ = std::move(handler);
}

void HostSerialLink::SetOnPortLost(std::function<void()> handler) {
  port_->on_port_lost_ = std::move(handler);
}

std::pair<std::int16_t, PortEntry> HostSerialLink::LastOpened() const {
  return port_->last_opened_;
}

}  // namespace korvalen
