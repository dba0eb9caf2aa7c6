#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "serial/port_table.h"

namespace korvalen::sim {

// A file descriptor closed exactly once, when its owner goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  [[nodiscard]] int Get() const { return fd_; }
  [[nodiscard]] bool Valid() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

// A pseudo-terminal pair standing in for a serial cable: the panel opens the slave by its path as
// it would a real port, the device plays on the master. Both ends start raw and non-blocking so no
// byte is translated or echoed back; the slave stays open here too, so the master keeps working
// while the panel closes and reopens its side, and a bare write on it takes the panel's own line.
class PseudoTerminal {
 public:
  // Throws std::system_error if the pair cannot be made.
  PseudoTerminal();

  [[nodiscard]] int Master() const { return master_.Get(); }
  [[nodiscard]] int Slave() const { return slave_.Get(); }
  [[nodiscard]] bool Open() const { return master_.Valid(); }
  [[nodiscard]] const std::string& SlavePath() const { return slave_path_; }
  // Ports in which port 1 is this pair's slave and no other number names a port.
  [[nodiscard]] PortSource Table() const;
  // The line settings the panel last put on its end, as "19200,N,8,2".
  [[nodiscard]] std::string SlaveSettings() const;

  // The device's side of the line.
  void Write(std::span<const std::uint8_t> bytes) const;
  [[nodiscard]] std::vector<std::uint8_t> Read(std::size_t count,
                                               std::chrono::milliseconds limit) const;
  [[nodiscard]] std::vector<std::uint8_t> ReadAvailable() const;

  // Closes both ends: whoever holds the slave sees the line hang up.
  void HangUp();

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string slave_path_;
};

// Writes every byte to a non-blocking descriptor, waiting for room; throws std::system_error on
// failure and std::runtime_error if no room comes within five seconds.
void WriteAll(int fd, std::span<const std::uint8_t> bytes);

// Reads from a non-blocking descriptor until `count` bytes came or `limit` passed, and returns
// what came. While nothing waits it runs the caller's event loop (on the application's thread
// only), so a sender driven by that loop can go on; bytes already on their way are taken first.
[[nodiscard]] std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t count,
                                                 std::chrono::milliseconds limit);

// Whatever waits on a non-blocking descriptor now, without waiting.
[[nodiscard]] std::vector<std::uint8_t> ReadAvailable(int fd);

}  // namespace korvalen::sim
