#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "serial/line_guard.h"

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace korvalen::line_guard {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// A descriptor of our own on the device while the port opens. Root passes the exclusive flag
// another program set (TIOCEXCL), so we ask the terminal instead; and since this descriptor closes
// only after the port's own has opened, its close is never the last one and never hangs the line
// up.
class Probe {
 public:
  explicit Probe(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
        error_(fd_ < 0 ? errno : 0) {}
  ~Probe() {
    if (fd_ >= 0) ::close(fd_);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // kOpened when nothing here stands in the way; anything the probe cannot name is left to the
  // port's own open to say.
  [[nodiscard]] OpenResult Result() const {
    switch (error_) {
      case 0:
        return HeldExclusively() ? OpenResult::kBusy : OpenResult::kOpened;
      case ENOENT:
      case ENODEV:
      case ENXIO:
        return OpenResult::kMissing;
      case EACCES:
      case EPERM:
        return OpenResult::kDenied;
      case EBUSY:
        return OpenResult::kBusy;
      default:
        return OpenResult::kOpened;
    }
  }

 private:
  [[nodiscard]] bool HeldExclusively() const {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    return false;
#endif
  }

  int fd_;
  int error_;
};

// How long one character takes on the line, start and stop bits included.
microseconds CharacterTime(const QSerialPort& port) {
  const int bits = 1 + port.dataBits() + (port.parity() == QSerialPort::NoParity ? 0 : 1) +
                   (port.stopBits() == QSerialPort::OneStop ? 1 : 2);
  return microseconds(1'000'000LL * bits / std::max(port.baudRate(), 1) + 1);
}

}  // namespace

OpenResult OpenExclusively(QSerialPort& port, const std::string& path) {
  const Probe probe(path);
  if (const OpenResult found = probe.Result(); found != OpenResult::kOpened) {
    return found;
  }
  port.setPortName(QString::fromStdString(path));
  if (!port.open(QIODevice::ReadWrite)) {
    return OpenResult::kFailed;
  }
  // Root passes TIOCEXCL, and Qt's lock file only guards opens by the same name, so a lock on the
  // device itself is what keeps a second writer off the line.
  if (::flock(port.handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    port.close();
    return OpenResult::kBusy;
  }
  return OpenResult::kOpened;
}

bool DrainSystemQueue(QSerialPort& port, Clock::time_point deadline) {
  const int fd = port.handle();
  const microseconds per_character = CharacterTime(port);
  // Sleeps about as long as the queued bytes take on the line, checking now and then.
  const auto wait_for = [&](int characters) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      return false;
    }
    const Clock::duration need =
        std::max<Clock::duration>(per_character * characters, microseconds(100));
    std::this_thread::sleep_for(
        std::min({need, deadline - now, Clock::duration(milliseconds(20))}));
    return true;
  };
  int queued = 0;
  while (true) {
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
      return false;
    }
    if (queued == 0) {
      break;
    }
    if (!wait_for(queued)) {
      return false;
    }
  }
  // Only the transmitter itself is left. tcdrain would wait for it with no bound at all (a driver
  // can hold it for ever), so the transmitter's own flag is asked instead, where the driver has
  // one; where it has none (USB adapters, pseudo-terminals) the system's close lets the last few
  // characters out.
#ifdef TIOCSERGETLSR
  for (unsigned int status = 0; ::ioctl(fd, TIOCSERGETLSR, &status) == 0;) {
    if ((status & TIOCSER_TEMT) != 0) {
      return true;
    }
    if (!wait_for(1)) {
      return false;
    }
  }
#endif
  return true;
}

std::size_t SystemQueueSize(QSerialPort& port) {
  int queued = 0;
  return ::ioctl(port.handle(), TIOCOUTQ, &queued) == 0
             ? static_cast<std::size_t>(std::max(queued, 0))
             : 0;
}

std::optional<LineErrorCounts> ReadLineErrors(QSerialPort& port) {
#ifdef __linux__
  serial_icounter_struct counts{};
  if (::ioctl(port.handle(), TIOCGICOUNT, &counts) == 0) {
    return LineErrorCounts{counts.brk, counts.frame, counts.overrun, counts.buf_overrun,
                           counts.parity};
  }
#else
  (void)port;
#endif
  return std::nullopt;
}

bool DeviceGone(QSerialPort& port) {
  // Qt reports a line that cannot take more bytes yet (EAGAIN) as the same error as a device that
  // has gone; only the line itself can tell them apart.
  pollfd line{port.handle(), POLLOUT, 0};
  return ::poll(&line, 1, 0) < 0 || (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace korvalen::line_guard
