#include "bench/answering_device.h"

#include <poll.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <array>
#include <vector>

#include "protocol/frame.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::bench {

AnsweringDevice::AnsweringDevice(int master) : master_(master), thread_([this] { Run(); }) {
}

AnsweringDevice::~AnsweringDevice() {
  stop_ = true;
  thread_.join();
}

sim::Reading AnsweringDevice::Nth(std::uint64_t n) {
  return {static_cast<std::uint8_t>(n % 256), static_cast<std::uint8_t>(255 - n % 256)};
}

void AnsweringDevice::Run() {
  const CommandFrame request = FeedbackFrame();
  std::vector<std::uint8_t> pending;
  std::array<std::uint8_t, 256> chunk{};
  while (!stop_) {
    pollfd wanted{master_, POLLIN, 0};
    if (::poll(&wanted, 1, 100) == 0) {
      // Nothing for a long while: a waiting event loop must get the chance to see the stop.
      if (QAbstractEventDispatcher* const loop =
              QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())) {
        loop->wakeUp();
      }
      continue;
    }
    const ssize_t got = ::read(master_, chunk.data(), chunk.size());
    if (got <= 0) continue;
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + got);
    while (pending.size() >= kFrameSize) {
      const bool is_request = std::equal(request.begin(), request.end(), pending.begin());
      pending.erase(pending.begin(), pending.begin() + kFrameSize);
      if (!is_request) continue;
      const CommandFrame reply = sim::ReplyBytes(Nth(answered_));
      sim::WriteAll(master_, reply);
      ++answered_;
    }
  }
}

}  // namespace korvalen::bench
