#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>

#include "bench/report.h"

struct xcb_connection_t;

namespace korvalen::bench {

// Watches the X display from outside, as a compositor would: which top-level window a process maps
// and when its first pixels land. The program under test needs nothing added for this.
class WindowWatch {
 public:
  struct Shown {
    std::uint32_t window = 0;
    Clock::time_point mapped;
    Clock::time_point painted;
  };

  // Throws std::runtime_error if there is no display or it lacks the DAMAGE extension.
  WindowWatch();
  ~WindowWatch();
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // The first window of `pid` mapped and painted after this watch was made, or none by `deadline`.
  // Windows of other processes are passed over.
  [[nodiscard]] std::optional<Shown> WaitFor(pid_t pid, Clock::time_point deadline);

 private:
  [[nodiscard]] std::optional<std::uint32_t> WindowPid(std::uint32_t window);

  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  std::uint32_t pid_atom_ = 0;
  std::uint8_t damage_event_ = 0;
  // Every top-level window created since, with the damage object that reports its drawing.
  std::map<std::uint32_t, std::uint32_t> damages_;
};

}  // namespace korvalen::bench
