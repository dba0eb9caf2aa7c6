#include <QProcess>
#include <QTest>
#include <filesystem>
#include <thread>

#include "bench/benchmarks.h"
#include "bench/process.h"
#include "bench/window_watch.h"
#include "sim/pseudo_terminal.h"

namespace korvalen::bench {
namespace {

bool HasOpen(pid_t pid, const std::string& path) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator(Cat("/proc/", pid, "/fd"), error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
  }
  return false;
}

// Shows `program`, clicks at `click` in its window as the pointer would, waits for `clicked`,
// then leaves it alone for `seconds` and reads what the scheduler counted meanwhile.
ProcessUsage LeaveAlone(WindowWatch& watch, const std::string& program,
                        const QStringList& arguments, QPoint click,
                        const std::function<bool(pid_t)>& clicked, int seconds,
                        const std::string& log) {
  const auto start = Clock::now();
  const Child child = StartOnX(program, arguments, log);
  const auto pid = static_cast<pid_t>(child->processId());
  const std::optional<WindowWatch::Shown> shown =
      watch.WaitFor(pid, start + std::chrono::seconds(30));
  if (!shown) throw std::runtime_error(program + " showed no window");
  const QStringList xdotool{
      QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(shown->window),
      QString::number(click.x()),  QString::number(click.y()), QStringLiteral("click"),
      QStringLiteral("1")};
  if (QProcess::execute(QStringLiteral("xdotool"), xdotool) != 0) {
    throw std::runtime_error("xdotool did not click");
  }
  if (!QTest::qWaitFor([&] { return clicked(pid); }, 10'000)) {
    throw std::runtime_error("the click on " + program + " had no effect");
  }
  // Repaints after the click, the tooltip timer of a hovered widget: all over well within this.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::optional<ProcessUsage> before = Usage(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const std::optional<ProcessUsage> after = Usage(pid);
  if (!before || !after || child->state() != QProcess::Running) {
    throw std::runtime_error(program + " ended while idle");
  }
  return {after->run_ms - before->run_ms, after->switches - before->switches, after->threads};
}

}  // namespace

std::vector<Row> IdleRows(const Programs& programs, int seconds) {
  WindowWatch watch;
  const sim::PseudoTerminal pty;
  // Connect, with the port field's default 1; the click leaves the focus on that button.
  const ProcessUsage panel = LeaveAlone(
      watch, programs.korvalen,
      {QStringLiteral("--port"), QString::fromStdString("1=" + pty.SlavePath())}, {72, 190},
      [&](pid_t pid) { return HasOpen(pid, pty.SlavePath()); }, seconds, programs.log);
  const ProcessUsage minimal = LeaveAlone(
      watch, programs.minimal_window, {}, {100, 50}, [](pid_t) { return true; }, seconds,
      programs.log);
  const std::string how = Cat(
      "the ", seconds, " s from 2 s after a click on Connect (the panel, on a pty, ", panel.threads,
      " threads) or on the one button (the floor, ", minimal.threads, " threads); every thread");
  return {Row(Cat("Idle: CPU time in ", seconds, " s"), "ms", panel.run_ms, minimal.run_ms,
              Row::Measure::kFigure, 10, how + ", schedstat run time"),
          Row(Cat("Idle: wakeups (context switches) in ", seconds, " s"), "",
              static_cast<double>(panel.switches), static_cast<double>(minimal.switches),
              Row::Measure::kFigure, 0, how + ", voluntary and forced switches")};
}

}  // namespace korvalen::bench
