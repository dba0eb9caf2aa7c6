#pragma once

#include <string>

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
// it would a real port, the device plays on the master. Both ends start raw so no byte is
// translated or echoed back; the slave stays open here too, so the master keeps working while the
// panel closes and reopens its side.
class PseudoTerminal {
 public:
  // Throws std::system_error if the pair cannot be made.
  PseudoTerminal();

  [[nodiscard]] int Master() const { return master_.Get(); }
  [[nodiscard]] bool Open() const { return master_.Valid(); }
  [[nodiscard]] const std::string& SlavePath() const { return slave_path_; }
  // The line settings the panel last put on its end, as "19200,N,8,2".
  [[nodiscard]] std::string SlaveSettings() const;

  // Closes both ends: whoever holds the slave sees the line hang up.
  void HangUp();

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string slave_path_;
};

}  // namespace korvalen::sim
