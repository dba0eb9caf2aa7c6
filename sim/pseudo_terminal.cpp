#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace korvalen::sim {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) ThrowErrno("tcgetattr");
  cfmakeraw(&settings);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
}

int Baud(speed_t speed) {
  switch (speed) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    default:
      return 0;
  }
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  return std::exchange(fd_, -1);
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

PseudoTerminal::PseudoTerminal() {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) ThrowErrno("openpty");
  master_ = UniqueFd(master);
  slave_ = UniqueFd(slave);
  std::array<char, 128> name{};
  if (ptsname_r(master, name.data(), name.size()) != 0) ThrowErrno("ptsname_r");
  slave_path_ = name.data();
  MakeRaw(master);
  MakeRaw(slave);
  for (const int fd : {master, slave}) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) ThrowErrno("fcntl");
  }
}

PortSource PseudoTerminal::Table() const {
  return FixedPorts(PortTable::One(slave_path_));
}

void PseudoTerminal::Write(std::span<const std::uint8_t> bytes) const {
  WriteAll(master_.Get(), bytes);
}

std::vector<std::uint8_t> PseudoTerminal::Read(std::size_t count,
                                               std::chrono::milliseconds limit) const {
  return ReadUpTo(master_.Get(), count, limit);
}

std::vector<std::uint8_t> PseudoTerminal::ReadAvailable() const {
  return sim::ReadAvailable(master_.Get());
}

std::string PseudoTerminal::SlaveSettings() const {
  termios settings{};
  if (!slave_.Valid() || tcgetattr(slave_.Get(), &settings) != 0) return {};
  std::string text = std::to_string(Baud(cfgetospeed(&settings)));
  text += (settings.c_cflag & PARENB) ? ((settings.c_cflag & PARODD) ? ",O" : ",E") : ",N";
  switch (settings.c_cflag & CSIZE) {
    case CS5:
      text += ",5";
      break;
    case CS6:
      text += ",6";
      break;
    case CS7:
      text += ",7";
      break;
    default:
      text += ",8";
      break;
  }
  text += (settings.c_cflag & CSTOPB) ? ",2" : ",1";
  return text;
}

void PseudoTerminal::HangUp() {
  master_.Reset();
  slave_.Reset();
}

void WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put < 0 && errno == EAGAIN) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error("the pseudo-terminal took no bytes for five seconds");
      }
      pollfd room{fd, POLLOUT, 0};
      ::poll(&room, 1, 10);
    } else if (put < 0 && errno != EINTR) {
      ThrowErrno("write");
    }
  }
}

std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t count, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const bool own_loop = QCoreApplication::instance() != nullptr &&
                        QThread::currentThread() == QCoreApplication::instance()->thread();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(count);
  std::array<std::uint8_t, 4096> chunk{};
  while (bytes.size() < count) {
    const std::size_t want = std::min(chunk.size(), count - bytes.size());
    const ssize_t got = ::read(fd, chunk.data(), want);
    if (got > 0) {
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
      continue;
    }
    if (got < 0 && errno != EAGAIN && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= deadline) break;
    // A terminal at VMIN 0 reads 0 bytes instead of EAGAIN; either way, wait a little for bytes
    // already in the line before giving the event loop a turn.
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 1) > 0 && (ready.revents & POLLIN) != 0) continue;
    if ((ready.revents & (POLLHUP | POLLERR)) != 0 && !own_loop) break;
    if (own_loop) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return bytes;
}

std::vector<std::uint8_t> ReadAvailable(int fd) {
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, 4096> chunk{};
  ssize_t got = 0;
  while ((got = ::read(fd, chunk.data(), chunk.size())) > 0) {
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
  }
  return bytes;
}

}  // namespace korvalen::sim
