#include "bench/process_bench.h"

#include <signal.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench/child_process.h"
#include "bench/proc_stats.h"
#include "bench/stats.h"
#include "bench/text.h"
#include "bench/window_watch.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::bench {
namespace {

using namespace std::chrono_literals;

const std::map<std::string, std::string> kOnX = {{"QT_QPA_PLATFORM", "xcb"}};

struct Start {
  double painted_ms = 0;
  double mapped_ms = 0;
  double rss_kib = 0;
};

Start StartOnce(WindowWatch& watch, const std::string& program, const std::string& log) {
  const auto start = Clock::now();
  ChildProcess child({program}, kOnX, log);
  const std::optional<WindowWatch::Shown> shown = watch.WaitFor(child.Pid(), start + 30s);
  if (!shown) throw std::runtime_error(program + " showed no window within 30 s");
  std::this_thread::sleep_for(1s);
  const std::optional<std::int64_t> rss = StatusKiB(child.Pid(), "VmRSS");
  if (!rss) throw std::runtime_error(program + " ended before its memory was read");
  child.Stop(SIGTERM);
  return {Micros(shown->painted - start) / 1000, Micros(shown->mapped - start) / 1000,
          static_cast<double>(*rss)};
}

double Median(std::vector<double> values) {
  return Summarize(std::move(values)).median;
}

std::string Join(const std::vector<double>& values) {
  std::string text;
  for (const double value : values) text += Cat(text.empty() ? "" : ", ", value);
  return text;
}

// Clicks at a point of a window, in the window's own pixels, as the pointer would.
void ClickAt(std::uint32_t window, int x, int y, const std::string& log) {
  ChildProcess xdotool({"xdotool", "mousemove", "--window", std::to_string(window),
                        std::to_string(x), std::to_string(y), "click", "1"},
                       {}, log);
  if (!xdotool.Wait(10s)) throw std::runtime_error("xdotool did not finish its click");
}

bool HasOpen(pid_t pid, const std::string& path) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator(Cat("/proc/", pid, "/fd"), error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
  }
  return false;
}

// The per-call table strace -c prints: system call name to calls.
std::map<std::string, std::int64_t> StraceCounts(const std::string& file) {
  std::map<std::string, std::int64_t> counts;
  std::ifstream in(file);
  int rules = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("------", 0) == 0) {
      ++rules;
      continue;
    }
    if (rules != 1) continue;
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    if (words.size() >= 5) counts[words.back()] = std::stoll(words[3]);
  }
  return counts;
}

struct Idle {
  double cpu_ms = 0;
  double tick_cpu_ms = 0;
  std::int64_t switches = 0;
  int threads = 0;
  int traced_threads = 0;
  std::string thread_names;
  std::int64_t syscalls = 0;
  std::string calls;  // "poll 3, read 1"
};

// Leaves a shown program alone for `seconds`, reading the scheduler's figures, then for as long
// again under strace. The two are apart because attaching a tracer is itself a wakeup.
Idle LeaveAlone(ChildProcess& child, int seconds, const std::string& trace_file) {
  // Repaints after the click, the tooltip timer of a hovered widget: all over well within this.
  std::this_thread::sleep_for(2s);
  const std::optional<ProcessUsage> before = Usage(child.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const std::optional<ProcessUsage> after = Usage(child.Pid());
  if (!before || !after) throw std::runtime_error("the program ended while idle");
  Idle idle;
  idle.cpu_ms = after->run_ms - before->run_ms;
  idle.tick_cpu_ms = after->cpu_ms - before->cpu_ms;
  idle.switches = after->switches - before->switches;
  idle.threads = after->threads;
  idle.thread_names = ThreadNames(child.Pid());

  // strace -c prints no table at all when no call completed, so its own report of each thread it
  // attached to is what tells a quiet process from a trace that never began.
  const std::string trace_log = trace_file + ".attach";
  std::filesystem::remove(trace_file);
  std::filesystem::remove(trace_log);
  {
    ChildProcess strace({"strace", "-f", "-c", "-o", trace_file, "-p", std::to_string(child.Pid())},
                        {}, trace_log);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    strace.Stop(SIGINT);
  }
  std::ifstream attach_lines(trace_log);
  for (std::string line; std::getline(attach_lines, line);) {
    // "Process 12 attached", or "Process 12 attached with 5 threads".
    const std::size_t with = line.find(" attached with ");
    if (with != std::string::npos) {
      idle.traced_threads += std::stoi(line.substr(with + 15));
    } else if (line.find(" attached") != std::string::npos) {
      ++idle.traced_threads;
    }
  }
  if (idle.traced_threads == 0) throw std::runtime_error("strace attached to no thread");
  for (const auto& [name, calls] : StraceCounts(trace_file)) {
    if (name == "total") {
      idle.syscalls = calls;
    } else {
      idle.calls += Cat(idle.calls.empty() ? "" : ", ", name, " ", calls);
    }
  }
  if (!child.Running()) throw std::runtime_error("the program ended while traced");
  return idle;
}

}  // namespace

std::vector<Row> StartupRows(const Programs& programs, int runs) {
  WindowWatch watch;
  // One start each first, so both find the libraries and fonts in the page cache.
  (void)StartOnce(watch, programs.korvalen, programs.log);
  (void)StartOnce(watch, programs.minimal_window, programs.log);
  std::vector<Start> panel;
  std::vector<Start> minimal;
  for (int i = 0; i < runs; ++i) {
    if (i % 2 == 0) {
      panel.push_back(StartOnce(watch, programs.korvalen, programs.log));
      minimal.push_back(StartOnce(watch, programs.minimal_window, programs.log));
    } else {
      minimal.push_back(StartOnce(watch, programs.minimal_window, programs.log));
      panel.push_back(StartOnce(watch, programs.korvalen, programs.log));
    }
  }
  const auto pick = [](const std::vector<Start>& starts, double Start::*field) {
    std::vector<double> values;
    for (const Start& start : starts) values.push_back(start.*field);
    return values;
  };
  const std::string how = Cat("median of ", runs, " starts each, alternating, under Xvfb");

  Row time("Start-up: process start to first paint", "ms", Median(pick(panel, &Start::painted_ms)),
           Median(pick(minimal, &Start::painted_ms)));
  time.measure = Row::Measure::kRatio;
  time.limit = 1.2;
  time.target = "<= 1.2x minimal window";
  time.detail = Cat(how, "; panel ", Join(pick(panel, &Start::painted_ms)), "; minimal ",
                    Join(pick(minimal, &Start::painted_ms)), "; mapped at ",
                    Median(pick(panel, &Start::mapped_ms)), " ms vs ",
                    Median(pick(minimal, &Start::mapped_ms)), " ms");

  Row memory("Start-up: resident memory 1 s after", "KiB", Median(pick(panel, &Start::rss_kib)),
             Median(pick(minimal, &Start::rss_kib)));
  memory.measure = Row::Measure::kRatio;
  memory.limit = 1.25;
  memory.target = "<= 1.25x minimal window";
  memory.detail = how + "; VmRSS";
  return {time, memory};
}

std::vector<Row> IdleRows(const Programs& programs, int seconds) {
  WindowWatch watch;
  const std::string trace_file = programs.log + ".strace";

  Idle panel;
  {
    const sim::PseudoTerminal pty;
    const auto start = Clock::now();
    ChildProcess child({programs.korvalen, "--port", "1=" + pty.SlavePath()}, kOnX, programs.log);
    const std::optional<WindowWatch::Shown> shown = watch.WaitFor(child.Pid(), start + 30s);
    if (!shown) throw std::runtime_error("the panel showed no window");
    // Connect, with the port field's default 1; the click leaves the focus on that button.
    ClickAt(shown->window, 72, 190, programs.log);
    if (!QTest::qWaitFor([&] { return HasOpen(child.Pid(), pty.SlavePath()); }, 10'000)) {
      throw std::runtime_error("the click on Connect opened no port");
    }
    panel = LeaveAlone(child, seconds, trace_file);
    (void)pty.ReadAvailable();
  }

  Idle minimal;
  {
    const auto start = Clock::now();
    ChildProcess child({programs.minimal_window}, kOnX, programs.log);
    const std::optional<WindowWatch::Shown> shown = watch.WaitFor(child.Pid(), start + 30s);
    if (!shown) throw std::runtime_error("the minimal window showed no window");
    ClickAt(shown->window, 100, 50, programs.log);  // its one button
    minimal = LeaveAlone(child, seconds, trace_file);
  }

  const std::string span = Cat(seconds, " s");
  Row cpu("Idle: CPU time in " + span, "ms", panel.cpu_ms, minimal.cpu_ms);
  cpu.limit = 10;
  cpu.strict = true;
  cpu.target = "< 10 ms";
  cpu.detail =
      Cat("connected to a pty, focus on Connect, from 2 s after the click; schedstat run "
          "time of all threads (",
          panel.thread_names, "), utime+stime ", panel.tick_cpu_ms,
          " ms; floor: the minimal window (", minimal.thread_names, ") left alone");

  Row switches("Idle: wakeups (context switches) in " + span, "",
               static_cast<double>(panel.switches), static_cast<double>(minimal.switches));
  switches.limit = 0;
  switches.target = "0";
  switches.detail = "voluntary + involuntary switches of every thread, no tracer attached";

  Row calls("Idle: system calls in " + span + " (strace -f -c)", "",
            static_cast<double>(panel.syscalls), static_cast<double>(minimal.syscalls));
  calls.limit = 0;
  calls.target = "0";
  calls.detail =
      Cat("the ", span, " after the first, strace on all ", panel.traced_threads,
          " threads; panel: ", panel.calls.empty() ? std::string("none") : panel.calls,
          "; minimal window: ", minimal.calls.empty() ? std::string("none") : minimal.calls);
  return {cpu, switches, calls};
}

}  // namespace korvalen::bench
