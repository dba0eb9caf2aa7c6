#include "bench/bench_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace korvalen::bench {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakeRawNonBlocking(int fd) {
  termios line{};
  if (::tcgetattr(fd, &line) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&line);
  if (::tcsetattr(fd, TCSANOW, &line) != 0) ThrowErrno("tcsetattr");
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
  if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) ThrowErrno("fcntl");
}

void Wait(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() < 0) throw std::runtime_error("the pseudo-terminal stayed silent");
  pollfd wanted{fd, events, 0};
  if (::poll(&wanted, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) {
    ThrowErrno("poll");
  }
}

}  // namespace

BenchPty::BenchPty() {
  std::array<char, 128> name{};
  if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) != 0) ThrowErrno("openpty");
  slave_path_ = name.data();
  MakeRawNonBlocking(master_);
  MakeRawNonBlocking(slave_);
}

BenchPty::~BenchPty() {
  ::close(master_);
  ::close(slave_);
}

PortSource BenchPty::Table() const {
  return FixedPorts(PortTable::One(slave_path_));
}

void WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put < 0 && errno == EAGAIN) {
      Wait(fd, POLLOUT, deadline);
    } else if (put < 0 && errno != EINTR) {
      ThrowErrno("write");
    }
  }
}

void ReadExactly(int fd, std::span<std::uint8_t> into, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got = ::read(fd, into.data() + done, into.size() - done);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0 || errno == EAGAIN) {
      // A terminal set to VMIN 0, as the link sets its end, reads 0 bytes instead of EAGAIN.
      Wait(fd, POLLIN, deadline);
    } else if (errno != EINTR) {
      ThrowErrno("read");
    }
  }
}

void Drain(int fd) {
  std::array<std::uint8_t, 4096> sink{};
  while (::read(fd, sink.data(), sink.size()) > 0) {
  }
}

}  // namespace korvalen::bench
