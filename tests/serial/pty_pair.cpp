#include "tests/serial/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace korvalen::test {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

PtyPair::PtyPair() {
  char name[128] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    Fail("openpty");
  }
  slave_path_ = name;
  termios raw{};
  ::tcgetattr(slave_, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave_, TCSANOW, &raw);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  CloseMaster();
  ::close(slave_);
}

PortSource PtyPair::Table() const {
  return FixedPorts(PortTable::One(slave_path_));
}

void PtyPair::Write(const std::vector<std::uint8_t>& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      Fail("write to pty master");
    }
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    }
  }
}

std::vector<std::uint8_t> PtyPair::ReadAvailable() const {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[4096];
  while (true) {
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n <= 0) {
      return bytes;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
}

std::vector<std::uint8_t> PtyPair::ReadExactly(std::size_t count, std::chrono::milliseconds timeout,
                                               const std::function<void()>& between) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::uint8_t> more = ReadAvailable();
    bytes.insert(bytes.end(), more.begin(), more.end());
    if (more.empty()) {
      if (between) {
        between();
      }
      pollfd wanted{master_, POLLIN, 0};
      ::poll(&wanted, 1, 5);
    }
  }
  return bytes;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) {
    ::close(master_);
    master_ = -1;
  }
}

void EnsureApplication() {
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "korvalen_test";
    static char* argv[] = {name, nullptr};
    static const auto app = std::make_unique<QCoreApplication>(argc, argv);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!done()) {
      PumpFor(std::chrono::milliseconds(1));
    }
  }
  return done();
}

void PumpFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace korvalen::test
