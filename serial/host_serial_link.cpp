#include "serial/host_serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "serial/line_events.h"
#include "serial/line_settings.h"
#include "serial/port_table.h"

namespace korvalen {
namespace {

using Clock = std::chrono::steady_clock;

// The panel's replies are 7 bytes; fewer waiting is a reply still on its way.
constexpr qint64 kReceiveThreshold = 7;
// A held line (no reader, flow stopped) must not hang the exit button for ever.
constexpr auto kDrainLimit = std::chrono::seconds(2);
constexpr int kMaxListedPorts = 255;

std::vector<PortEntry> HostPortEntries() {
  std::vector<PortEntry> entries;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    entries.push_back({info.systemLocation().toStdString(), info.description().toStdString(),
                       info.serialNumber().toStdString()});
  }
  return OrderPorts(std::move(entries));
}

std::string ListPorts(const PortTable& ports) {
  std::string list;
  for (int n = 1; n <= kMaxListedPorts; ++n) {
    const std::optional<std::string> path = ports(n);
    if (!path) {
      break;
    }
    list += (list.empty() ? "" : ", ") + std::to_string(n) + ": " + *path;
  }
  return list.empty() ? "there are no serial ports" : "the ports are " + list;
}

QSerialPort::Parity ToQt(Parity parity) {
  switch (parity) {
    case Parity::kNone:
      return QSerialPort::NoParity;
    case Parity::kEven:
      return QSerialPort::EvenParity;
    case Parity::kOdd:
      return QSerialPort::OddParity;
    case Parity::kMark:
      return QSerialPort::MarkParity;
    case Parity::kSpace:
      return QSerialPort::SpaceParity;
  }
  return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(StopBits stop_bits) {
  switch (stop_bits) {
    case StopBits::kOne:
      return QSerialPort::OneStop;
    case StopBits::kOneAndHalf:
      return QSerialPort::OneAndHalfStop;
    case StopBits::kTwo:
      return QSerialPort::TwoStop;
  }
  return QSerialPort::OneStop;
}

// How long one character takes on the line, start and stop bits included.
std::chrono::microseconds CharacterTime(const LineSettings& settings) {
  const int bits = 1 + settings.data_bits + (settings.parity == Parity::kNone ? 0 : 1) +
                   (settings.stop_bits == StopBits::kOne ? 1 : 2);
  return std::chrono::microseconds(1'000'000LL * bits / settings.baud + 1);
}

// A descriptor of our own on the device while the port opens. Root passes the exclusive flag
// another program set (TIOCEXCL), so we ask the terminal instead; and since this descriptor closes
// only after the port's own has opened, its close is never the last one and never hangs the line
// up.
class ExclusiveProbe {
 public:
  explicit ExclusiveProbe(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~ExclusiveProbe() {
    if (fd_ >= 0) ::close(fd_);
  }
  ExclusiveProbe(const ExclusiveProbe&) = delete;
  ExclusiveProbe& operator=(const ExclusiveProbe&) = delete;

  // False also when the probe could not open: the port's own open then says why.
  [[nodiscard]] bool HeldExclusively() const {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return fd_ >= 0 && ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    return false;
#endif
  }

 private:
  int fd_;
};

std::optional<LineErrorCounts> ReadLineErrors(int fd) {
#ifdef __linux__
  serial_icounter_struct counts{};
  if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
    return LineErrorCounts{counts.brk, counts.frame, counts.overrun, counts.buf_overrun,
                           counts.parity};
  }
#else
  (void)fd;
#endif
  return std::nullopt;
}

}  // namespace

PortTable HostPorts() {
#ifdef _WIN32
  return [](int port) -> std::optional<std::string> {
    if (port < 1) {
      return std::nullopt;
    }
    return "COM" + std::to_string(port);
  };
#else
  return [](int port) { return PortPath(HostPortEntries(), port); };
#endif
}

std::string DescribeHostPorts() {
  return DescribePorts(HostPortEntries());
}

// Owns the Qt device and the notifiers; a QObject so queued notifications die with the link.
class HostSerialLink::Port : public QObject {
 public:
  explicit Port(PortTable ports) : ports_(std::move(ports)) {
    connect(&serial_, &QSerialPort::readyRead, this, &Port::OnReadyRead);
    connect(&serial_, &QSerialPort::errorOccurred, this, &Port::OnError);
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
    if (open_) {
      throw SerialError("port " + path_ + " is already open");
    }
    const std::optional<std::string> path = ports_(port_number_);
    if (!path) {
      throw SerialError("no such port: " + std::to_string(port_number_) + "; " + ListPorts(ports_));
    }
    if (::access(path->c_str(), F_OK) != 0) {
      throw SerialError("no such port: " + *path + " is not there; " + ListPorts(ports_));
    }
    if (::access(path->c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
      throw SerialError(PermissionDenied(*path));
    }
    const ExclusiveProbe probe(*path);
    if (probe.HeldExclusively()) {
      throw SerialError(Busy(*path));
    }
    serial_.setPortName(QString::fromStdString(*path));
    serial_.setBaudRate(settings_.baud);
    serial_.setParity(ToQt(settings_.parity));
    serial_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.data_bits));
    serial_.setStopBits(ToQt(settings_.stop_bits));
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial_.open(QIODevice::ReadWrite)) {
      throw SerialError(OpenFailure(*path));
    }
    fd_ = serial_.handle();
    if (settings_.stop_bits == StopBits::kOneAndHalf && !SetOneAndAHalfStopBits()) {
      const int error = errno;
      serial_.close();
      throw SerialError("settings not supported by " + *path +
                        ": 1.5 stop bits: " + std::strerror(error));
    }
    // Root passes TIOCEXCL, and Qt's lock file only guards opens by the same name, so a lock on the
    // device itself is what keeps a second writer off the line.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      serial_.close();
      throw SerialError(error == EWOULDBLOCK
                            ? Busy(*path)
                            : "cannot open " + *path + ": " + std::strerror(error));
    }
    path_ = *path;
    open_ = true;
    line_errors_ = ReadLineErrors(fd_);
    write_notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    write_notifier_->setEnabled(false);
    connect(write_notifier_, &QSocketNotifier::activated, this, &Port::WritePending);
  }

  void Close() {
    if (!open_) {
      return;
    }
    const auto deadline = Clock::now() + kDrainLimit;
    const bool drained = DrainPending(deadline) && DrainSystemQueue(deadline);
    if (!drained && open_) {
      int stranded = 0;
      ::ioctl(fd_, TIOCOUTQ, &stranded);
      const std::size_t left = pending_.size() + static_cast<std::size_t>(std::max(stranded, 0));
      ::tcflush(fd_, TCOFLUSH);
      const std::string path = path_;
      CloseDevice();
      throw SerialError("closed " + path + " with " + std::to_string(left) +
                        " bytes unsent: the line took none for 2 s");
    }
    if (open_) {
      CloseDevice();
    }
  }

  void ClearInput() {
    RequireOpen();
    // Empties Qt's buffer and flushes the system's queue (TCIFLUSH) both.
    serial_.clear(QSerialPort::Input);
  }

  void Write(std::span<const std::uint8_t> bytes) {
    RequireOpen();
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    WritePending();
  }

  [[nodiscard]] std::vector<std::uint8_t> Read() {
    RequireOpen();
    const QByteArray bytes = serial_.readAll();
    return {bytes.begin(), bytes.end()};
  }

  [[nodiscard]] bool IsOpen() const { return open_; }

  PortTable ports_;
  std::int16_t port_number_ = 1;
  LineSettings settings_;
  std::int16_t event_ = 0;
  std::function<void()> on_comm_;
  std::function<void()> on_port_lost_;

 private:
  // Qt accepts 1.5 stop bits and quietly sends 1; the driver gives 1.5 for CSTOPB with 5 data bits.
  [[nodiscard]] bool SetOneAndAHalfStopBits() const {
    termios line{};
    if (::tcgetattr(fd_, &line) != 0) {
      return false;
    }
    line.c_cflag |= CSTOPB;
    return ::tcsetattr(fd_, TCSANOW, &line) == 0;
  }

  void RequireOpen() const {
    if (!open_) {
      throw SerialError("the port is not open");
    }
  }

  // Writes straight to the descriptor: Qt's write() only buffers until a later turn of the event
  // loop, and a frame must be on its way when SetOutput returns.
  void WritePending() {
    while (open_ && !pending_.empty()) {
      const ssize_t written = ::write(fd_, pending_.data(), pending_.size());
      if (written > 0) {
        pending_.erase(pending_.begin(), pending_.begin() + written);
      } else if (written < 0 && errno == EINTR) {
        continue;
      } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        write_notifier_->setEnabled(true);
        return;
      } else {
        Lose();
        return;
      }
    }
    if (open_) {
      write_notifier_->setEnabled(false);
    }
  }

  bool DrainPending(Clock::time_point deadline) {
    while (open_ && !pending_.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        return false;
      }
      pollfd wanted{fd_, POLLOUT, 0};
      const int ready = ::poll(&wanted, 1, static_cast<int>(left.count()) + 1);
      if (ready < 0 && errno != EINTR) {
        return false;
      }
      if (ready > 0) {
        WritePending();
      }
    }
    return open_;
  }

  // Waits for the bytes the system still holds, sleeping about as long as they take on the line.
  bool DrainSystemQueue(Clock::time_point deadline) {
    const auto per_character = CharacterTime(settings_);
    while (open_) {
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        break;
      }
      const auto now = Clock::now();
      if (now >= deadline) {
        return false;
      }
      const auto need = per_character * queued;
      std::this_thread::sleep_for(std::clamp<Clock::duration>(
          need, std::chrono::microseconds(100),
          std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(20))));
    }
    if (open_) {
      // Only the device's own transmit buffer is left; this waits for it to empty.
      ::tcdrain(fd_);
    }
    return open_;
  }

  void OnReadyRead() {
    if (!open_) {
      return;
    }
    ReportLineErrors();
    if (open_ && serial_.bytesAvailable() >= kReceiveThreshold) {
      Raise(kEventReceive);
    }
  }

  void ReportLineErrors() {
    if (!line_errors_) {
      return;
    }
    const std::optional<LineErrorCounts> now = ReadLineErrors(fd_);
    if (!now) {
      return;
    }
    const LineErrorCounts before = *line_errors_;
    line_errors_ = now;
    for (const std::int16_t code : LineEventCodes(before, *now)) {
      if (open_) {
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
    // A vanished USB adapter reports a resource error; a pseudo-terminal whose other side closed
    // reports a read error on every turn of the loop. Either way the device is gone.
    if (open_ && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)) {
      Lose();
    }
  }

  // Closes without draining (nothing can drain into a missing device) and tells the owner later,
  // from the event loop, so the handler never runs inside SetOutput.
  void Lose() {
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

  void CloseDevice() {
    open_ = false;
    pending_.clear();
    if (write_notifier_ != nullptr) {
      write_notifier_->setEnabled(false);
      write_notifier_->deleteLater();
      write_notifier_ = nullptr;
    }
    serial_.close();
    fd_ = -1;
  }

  [[nodiscard]] static std::string PermissionDenied(const std::string& path) {
    return "permission denied: " + path + " (add your user to the dialout group and log in again)";
  }

  [[nodiscard]] static std::string Busy(const std::string& path) {
    return "busy: another program has " + path + " open";
  }

  [[nodiscard]] std::string OpenFailure(const std::string& path) const {
    const std::string message = serial_.errorString().toStdString();
    switch (serial_.error()) {
      case QSerialPort::DeviceNotFoundError:
        return "no such port: " + path + " is not there; " + ListPorts(ports_);
      case QSerialPort::PermissionError:
        // The device itself is readable and writable (checked above), so Qt's lock file or the
        // driver's exclusive flag stopped us: someone else has it.
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
  QSocketNotifier* write_notifier_ = nullptr;
  int fd_ = -1;
  bool open_ = false;
  std::string path_;
  std::vector<std::uint8_t> pending_;
  std::optional<LineErrorCounts> line_errors_;
};

HostSerialLink::HostSerialLink(PortTable ports) : port_(std::make_unique<Port>(std::move(ports))) {
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

std::int16_t HostSerialLink::CommEvent() const {
  return port_->event_;
}

std::vector<std::uint8_t> HostSerialLink::Input() {
  return port_->Read();
}

void HostSerialLink::SetOnComm(std::function<void()> handler) {
  port_->on_comm_ = std::move(handler);
}

void HostSerialLink::SetOnPortLost(std::function<void()> handler) {
  port_->on_port_lost_ = std::move(handler);
}

}  // namespace korvalen
