#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/host_serial_link.h"

namespace korvalen::test {

// A pseudo-terminal pair standing in for a device: the link opens the slave by its path, the test
// plays the device on the master. The pair keeps its own slave descriptor open so the line does not
// hang up when the link closes; CloseMaster() is how a test unplugs the device.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  [[nodiscard]] const std::string& SlavePath() const { return slave_path_; }
  [[nodiscard]] int SlaveFd() const { return slave_; }
  // A table with this pty as port 1 and nothing else.
  [[nodiscard]] PortSource Table() const;

  void Write(const std::vector<std::uint8_t>& bytes) const;
  // Whatever the master can read right now, without waiting.
  [[nodiscard]] std::vector<std::uint8_t> ReadAvailable() const;
  // Reads until `count` bytes came or `timeout` passed, running `between` while nothing is there.
  [[nodiscard]] std::vector<std::uint8_t> ReadExactly(
      std::size_t count, std::chrono::milliseconds timeout,
      const std::function<void()>& between = {}) const;
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

// Makes sure a QCoreApplication exists for the rest of the test program.
void EnsureApplication();

// Runs the event loop until `done` holds or `timeout` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Runs the event loop for `duration`, sleeping while there is nothing to do.
void PumpFor(std::chrono::milliseconds duration);

}  // namespace korvalen::test
