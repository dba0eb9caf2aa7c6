#include "bench/wire_bench.h"

#include <poll.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "panel/traffic_log.h"
#include "bench/answering_device.h"
#include "bench/panel_rig.h"
#include "bench/stats.h"
#include "bench/text.h"
#include "protocol/frame.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/controls.h"

namespace korvalen::bench {
namespace {

constexpr int kWarmUp = 200;

struct Paired {
  std::vector<double> panel;
  std::vector<double> floor;
};

std::vector<Row> MedianAndP99(const std::string& name, const Paired& samples, double median_limit,
                              double p99_limit, const std::string& how) {
  const Summary panel = Summarize(samples.panel);
  const Summary floor = Summarize(samples.floor);
  const std::string detail = Cat(how, "; ", panel.count, " samples each, interleaved");
  Row median(name + ", median", "us", panel.median, floor.median);
  median.measure = Row::Measure::kDifference;
  median.limit = median_limit;
  median.target = Cat("floor +", static_cast<int>(median_limit), " us");
  median.detail = detail;
  Row p99(name + ", p99", "us", panel.p99, floor.p99);
  p99.measure = Row::Measure::kDifference;
  p99.limit = p99_limit;
  p99.target = Cat("floor +", static_cast<int>(p99_limit), " us");
  p99.detail = detail;
  return {median, p99};
}

// One frame from `fd` inside a timed sample. Waiting in poll() first keeps the event loop out of
// the sample: the shared read gives the loop a turn after a millisecond of silence, which would
// paint the pressed button inside the time and, on the panel's own line, let the link take the
// reply meant for the floor.
CommandFrame ReadFrame(int fd) {
  pollfd ready{fd, POLLIN, 0};
  ::poll(&ready, 1, 5000);
  const std::vector<std::uint8_t> bytes = sim::ReadUpTo(fd, kFrameSize, std::chrono::seconds(5));
  if (bytes.size() != kFrameSize) throw std::runtime_error("the pseudo-terminal stayed silent");
  CommandFrame frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return frame;
}

std::string Reading(std::uint8_t value) {
  return Cat(" ", static_cast<int>(value));
}

}  // namespace

std::vector<Row> CommandLatencyRows(int samples) {
  PanelRig rig;
  auto& feedback = test::Find<QPushButton>(rig.Window(), "Command3");
  const CommandFrame request = FeedbackFrame();
  const int master = rig.Pty().Master();
  const int slave = rig.Pty().Slave();
  Paired paired;

  std::vector<double> inside_click;
  std::vector<double> inside_write;
  const auto bare = [&] {
    const auto start = Clock::now();
    sim::WriteAll(slave, request);
    inside_write.push_back(Micros(Clock::now() - start));
    const CommandFrame got = ReadFrame(master);
    const double elapsed = Micros(Clock::now() - start);
    if (got != request) throw std::runtime_error("the bare write came out altered");
    return elapsed;
  };
  const auto click = [&] {
    const auto start = Clock::now();
    QTest::mouseClick(&feedback, Qt::LeftButton);
    inside_click.push_back(Micros(Clock::now() - start));
    const CommandFrame got = ReadFrame(master);
    const double elapsed = Micros(Clock::now() - start);
    if (got != request) throw std::runtime_error("the click sent something other than Feedback");
    return elapsed;
  };

  for (int i = 0; i < kWarmUp + samples; ++i) {
    if (i == kWarmUp) {
      inside_click.clear();
      inside_write.clear();
    }
    // Alternating which goes first keeps any drift of the machine out of the difference.
    const double first = i % 2 == 0 ? bare() : click();
    const double second = i % 2 == 0 ? click() : bare();
    // The event loop's turn between two operator actions: repaints of the pressed button.
    Settle();
    if (i < kWarmUp) continue;
    paired.floor.push_back(i % 2 == 0 ? first : second);
    paired.panel.push_back(i % 2 == 0 ? second : first);
  }
  // Where the time goes: in the click (the panel's own work, the bytes written when it returns)
  // and in the line.
  const Summary click_time = Summarize(inside_click);
  const Summary write_time = Summarize(inside_write);
  return MedianAndP99(
      "Command latency", paired, 10, 50,
      Cat("QTest click on Feedback until 7 bytes read on the master; floor: write() 7 bytes to "
          "the slave, read() them on the master; inside the click median ",
          click_time.median, " us, p99 ", click_time.p99, " us; inside the bare write() median ",
          write_time.median, " us, p99 ", write_time.p99, " us"));
}

std::vector<Row> LoggedCommandLatencyRows(int samples) {
  PanelRig rig;
  auto& feedback = test::Find<QPushButton>(rig.Window(), "Command3");
  const CommandFrame request = FeedbackFrame();
  const int master = rig.Pty().Master();
  const QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("traffic.log"));
  std::string problem;
  TrafficLog log(path, {}, [&problem](const std::string& report) { problem = report; });
  Panel& panel = rig.Window().State();
  Paired paired;

  const auto click = [&](PanelObserver* observer) {
    panel.SetObserver(observer);
    const auto start = Clock::now();
    QTest::mouseClick(&feedback, Qt::LeftButton);
    const CommandFrame got = ReadFrame(master);
    const double elapsed = Micros(Clock::now() - start);
    if (got != request) throw std::runtime_error("the click sent something other than Feedback");
    return elapsed;
  };
  for (int i = 0; i < kWarmUp + samples; ++i) {
    const double first = click(i % 2 == 0 ? nullptr : &log);
    const double second = click(i % 2 == 0 ? &log : nullptr);
    // The log writes its lines here, in the event loop's turn between two operator actions.
    Settle();
    if (i < kWarmUp) continue;
    paired.floor.push_back(i % 2 == 0 ? first : second);
    paired.panel.push_back(i % 2 == 0 ? second : first);
  }
  panel.SetObserver(nullptr);
  log.Flush();
  if (!problem.empty()) throw std::runtime_error(problem);
  return MedianAndP99("Command latency, log on", paired, 5, 20,
                      Cat("the same click on Feedback until 7 bytes read on the master, with the "
                          "--log writer attached to a file; floor: without it; alternating, ",
                          QFileInfo(path).size(), " bytes logged"));
}

std::vector<Row> RoundTripRows(int samples) {
  PanelRig rig;
  auto& feedback = test::Find<QPushButton>(rig.Window(), "Command3");
  auto& current = test::Find<QLineEdit>(rig.Window(), "Text3");
  auto& voltage = test::Find<QLineEdit>(rig.Window(), "Text4");
  const int slave = rig.Pty().Slave();
  const CommandFrame request = FeedbackFrame();
  AnsweringDevice device(rig.Pty().Master());
  std::uint64_t requests = 0;
  Paired paired;

  const auto bare = [&] {
    const auto start = Clock::now();
    sim::WriteAll(slave, request);
    const CommandFrame reply = ReadFrame(slave);
    const double elapsed = Micros(Clock::now() - start);
    if (reply != sim::ReplyBytes(AnsweringDevice::Nth(requests))) {
      throw std::runtime_error("the bare round trip read a wrong reply");
    }
    ++requests;
    return elapsed;
  };

  // The clock stops inside the field's own change signal: the moment the reading is in it.
  QString want_current;
  QString want_voltage;
  bool shown = false;
  Clock::time_point shown_at;
  const QMetaObject::Connection watch =
      QObject::connect(&voltage, &QLineEdit::textChanged, &voltage, [&](const QString& text) {
        if (text == want_voltage && current.text() == want_current) {
          shown_at = Clock::now();
          shown = true;
        }
      });
  const auto click = [&] {
    const sim::Reading reading = AnsweringDevice::Nth(requests);
    want_current = QString::fromStdString(Reading(reading.current));
    want_voltage = QString::fromStdString(Reading(reading.voltage));
    shown = false;
    const auto start = Clock::now();
    QTest::mouseClick(&feedback, Qt::LeftButton);
    // Not QTest::qWaitFor: its 10 ms naps between turns of the loop would land inside the figure.
    // The loop wakes the moment the reply reaches the link, as the running program's does.
    const auto deadline = start + std::chrono::seconds(5);
    while (!shown && Clock::now() < deadline) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!shown) throw std::runtime_error("the reading never reached Text3 and Text4");
    ++requests;
    return Micros(shown_at - start);
  };

  for (int i = 0; i < kWarmUp + samples; ++i) {
    const double first = i % 2 == 0 ? bare() : click();
    const double second = i % 2 == 0 ? click() : bare();
    Settle();
    if (i < kWarmUp) continue;
    paired.floor.push_back(i % 2 == 0 ? first : second);
    paired.panel.push_back(i % 2 == 0 ? second : first);
  }
  QObject::disconnect(watch);
  return MedianAndP99("Feedback round trip", paired, 20, 100,
                      "QTest click on Feedback, a device thread on the master answers at once, "
                      "until Text3 and Text4 hold the reading; floor: write() the request to the "
                      "slave, the same thread answers, read() the reply on the slave");
}

}  // namespace korvalen::bench
