#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "sim/device_model.h"

namespace korvalen::bench {

// The device on the master end, played by a thread of its own so that it answers the moment a
// request arrives, whoever sent it: the panel or the bench's own bare write. The n-th feedback
// request gets Nth(n) as its reading, so every reply differs from the one before it.
class AnsweringDevice {
 public:
  explicit AnsweringDevice(int master);
  ~AnsweringDevice();
  AnsweringDevice(const AnsweringDevice&) = delete;
  AnsweringDevice& operator=(const AnsweringDevice&) = delete;

  [[nodiscard]] static sim::Reading Nth(std::uint64_t n);
  [[nodiscard]] std::uint64_t Answered() const { return answered_.load(); }

 private:
  void Run();

  int master_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> answered_{0};
  std::thread thread_;
};

}  // namespace korvalen::bench
