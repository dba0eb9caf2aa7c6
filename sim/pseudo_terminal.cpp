#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
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
  const int flags = fcntl(master, F_GETFL);
  if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
  if (fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave, F_SETFD, FD_CLOEXEC) != 0) {
    ThrowErrno("fcntl");
  }
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

}  // namespace korvalen::sim
