#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "bench/benchmarks.h"
#include "bench/panel_rig.h"
#include "panel/traffic_log.h"

namespace korvalen::bench {

std::vector<Row> CommandLatencyRows(int samples) {
  PanelRig rig;
  auto& feedback = Find<QPushButton>(rig.Window(), "Command3");
  Panel& panel = rig.Window().State();
  const CommandFrame request = FeedbackFrame();
  const int master = rig.Pty().Master();
  const QTemporaryDir dir;
  std::string problem;
  TrafficLog log(dir.filePath(QStringLiteral("traffic.log")), {},
                 [&problem](const std::string& report) { problem = report; });

  const auto bare = [&] {
    const auto start = Clock::now();
    sim::WriteAll(rig.Pty().Slave(), request);
    const CommandFrame got = ReadFrame(master);
    const double elapsed = Micros(Clock::now() - start);
    if (got != request) throw std::runtime_error("the bare write came out altered");
    return elapsed;
  };
  const auto click = [&](PanelObserver* observer) {
    panel.SetObserver(observer);
    const auto start = Clock::now();
    QTest::mouseClick(&feedback, Qt::LeftButton);
    const CommandFrame got = ReadFrame(master);
    const double elapsed = Micros(Clock::now() - start);
    if (got != request) throw std::runtime_error("the click sent something other than Feedback");
    return elapsed;
  };
  // The log writes its lines in the event loop's turn after each round, as between two operator
  // actions.
  const std::vector<std::vector<double>> taken =
      Interleave(samples, {bare, [&] { return click(nullptr); }, [&] { return click(&log); }});
  panel.SetObserver(nullptr);
  log.Flush();
  if (!problem.empty()) throw std::runtime_error(problem);

  const std::string how =
      "QTest click on Feedback until 7 bytes read on the master; floor: write() 7 bytes to the "
      "slave, read() them on the master";
  std::vector<Row> rows = MedianAndP99("Command latency", taken[1], taken[0], 40, how);
  for (Row& row : MedianAndP99("Command latency, log on", taken[2], taken[0], 40,
                               how + "; the --log writer attached to a file")) {
    rows.push_back(row);
  }
  return rows;
}

}  // namespace korvalen::bench
