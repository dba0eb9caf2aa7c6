#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace korvalen::bench {

// A "VmRSS"-style field of /proc/PID/status, in KiB.
[[nodiscard]] std::optional<std::int64_t> StatusKiB(pid_t pid, const std::string& field);

// What the scheduler has counted for every thread of a process so far.
struct ProcessUsage {
  double cpu_ms = 0;          // utime + stime, at the clock tick's resolution
  double run_ms = 0;          // time on a CPU by schedstat, to the nanosecond
  std::int64_t switches = 0;  // voluntary and forced context switches: each one a wakeup
  int threads = 0;
};

[[nodiscard]] std::optional<ProcessUsage> Usage(pid_t pid);

// The names of a process's threads, "main, QXcbEventQueue, Thread (pooled) x2".
[[nodiscard]] std::string ThreadNames(pid_t pid);

// The three load averages as /proc/loadavg gives them.
[[nodiscard]] std::string LoadAverage();

}  // namespace korvalen::bench
