#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "serial/host_serial_link.h"

namespace korvalen::bench {

// A raw pseudo-terminal pair with both ends in the bench's hands. The link under test opens the
// slave by its path; the bench plays the device on the master and keeps a slave descriptor of its
// own, so the floor's bare writes and reads go through exactly the same line as the panel's.
class BenchPty {
 public:
  BenchPty();
  ~BenchPty();
  BenchPty(const BenchPty&) = delete;
  BenchPty& operator=(const BenchPty&) = delete;

  [[nodiscard]] int Master() const { return master_; }
  [[nodiscard]] int Slave() const { return slave_; }
  [[nodiscard]] const std::string& SlavePath() const { return slave_path_; }
  // Ports with this pty as port 1 and nothing else.
  [[nodiscard]] PortSource Table() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

// Writes every byte to a non-blocking descriptor, waiting for room when it is full.
void WriteAll(int fd, std::span<const std::uint8_t> bytes);

// Fills `into` from a non-blocking descriptor, waiting in poll() between reads. Throws
// std::runtime_error if the bytes have not all come within `limit`.
void ReadExactly(int fd, std::span<std::uint8_t> into,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));

// Reads and throws away whatever waits on the descriptor now.
void Drain(int fd);

}  // namespace korvalen::bench
