#pragma once

#include <sys/types.h>

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvalen::bench {

// A "VmRSS"-style field of /proc/PID/status, in KiB.
[[nodiscard]] std::optional<std::int64_t> StatusKiB(pid_t pid, const std::string& field);

// What the scheduler has counted for every thread of a process so far.
struct ProcessUsage {
  double run_ms = 0;          // time on a CPU by schedstat, to the nanosecond
  std::int64_t switches = 0;  // voluntary and forced context switches: each one a wakeup
  int threads = 0;
};

[[nodiscard]] std::optional<ProcessUsage> Usage(pid_t pid);

// The three load averages as /proc/loadavg gives them.
[[nodiscard]] std::string LoadAverage();

// Ends a program the bench started, if it has not ended by itself.
struct KillProcess {
  void operator()(QProcess* process) const;
};
using Child = std::unique_ptr<QProcess, KillProcess>;

// `program` started on the X display with what it prints going to `log`; it is killed when the
// result goes. Throws std::runtime_error if it cannot start.
[[nodiscard]] Child StartOnX(const std::string& program, const QStringList& arguments,
                             const std::string& log);

}  // namespace korvalen::bench
