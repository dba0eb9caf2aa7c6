#include <poll.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <thread>

#include "bench/benchmarks.h"
#include "bench/panel_rig.h"

namespace korvalen::bench {
namespace {

// The n-th feedback request gets this reading, so every reply differs from the one before it.
Readings Nth(std::uint64_t n) {
  return {static_cast<std::uint8_t>(n % 256), static_cast<std::uint8_t>(255 - n % 256)};
}

// The device on the master end, played by a thread of its own so that it answers the moment a
// request arrives, whoever sent it: the panel or the bench's own bare write.
class AnsweringDevice {
 public:
  explicit AnsweringDevice(int master) : master_(master), thread_([this] { Run(); }) {}
  ~AnsweringDevice() {
    stop_ = true;
    thread_.join();
  }
  AnsweringDevice(const AnsweringDevice&) = delete;
  AnsweringDevice& operator=(const AnsweringDevice&) = delete;

 private:
  void Run() {
    const CommandFrame request = FeedbackFrame();
    std::vector<std::uint8_t> pending;
    std::uint64_t answered = 0;
    while (!stop_) {
      pollfd wanted{master_, POLLIN, 0};
      if (::poll(&wanted, 1, 100) == 0) {
        // Nothing for a long while: a waiting event loop must get the chance to see the end.
        QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())->wakeUp();
        continue;
      }
      const std::vector<std::uint8_t> got = sim::ReadAvailable(master_);
      pending.insert(pending.end(), got.begin(), got.end());
      while (pending.size() >= kFrameSize) {
        const bool is_request = std::equal(request.begin(), request.end(), pending.begin());
        pending.erase(pending.begin(), pending.begin() + kFrameSize);
        if (is_request) sim::WriteAll(master_, ReplyFrame::Encode(Nth(answered++)).Bytes());
      }
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

std::vector<Row> RoundTripRows(int samples) {
  PanelRig rig;
  auto& feedback = Find<QPushButton>(rig.Window(), "Command3");
  auto& current = Find<QLineEdit>(rig.Window(), "Text3");
  auto& voltage = Find<QLineEdit>(rig.Window(), "Text4");
  const int slave = rig.Pty().Slave();
  AnsweringDevice device(rig.Pty().Master());
  std::uint64_t requests = 0;

  const auto bare = [&] {
    const auto start = Clock::now();
    sim::WriteAll(slave, FeedbackFrame());
    const CommandFrame reply = ReadFrame(slave);
    const double elapsed = Micros(Clock::now() - start);
    if (reply != ReplyFrame::Encode(Nth(requests++)).Bytes()) {
      throw std::runtime_error("the bare round trip read a wrong reply");
    }
    return elapsed;
  };
  // The clock stops inside the field's own change signal: the moment the reading is in it.
  QString want_current;
  QString want_voltage;
  std::optional<Clock::time_point> shown;
  const QMetaObject::Connection watch =
      QObject::connect(&voltage, &QLineEdit::textChanged, &voltage, [&](const QString& text) {
        if (text == want_voltage && current.text() == want_current) shown = Clock::now();
      });
  const auto click = [&] {
    const Readings reading = Nth(requests++);
    want_current = QStringLiteral(" %1").arg(reading.current);
    want_voltage = QStringLiteral(" %1").arg(reading.voltage);
    shown.reset();
    const auto start = Clock::now();
    QTest::mouseClick(&feedback, Qt::LeftButton);
    // Not QTest::qWaitFor: its 10 ms naps between turns of the loop would land inside the figure.
    // The loop wakes the moment the reply reaches the link, as the running program's does.
    while (!shown && Clock::now() < start + std::chrono::seconds(5)) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!shown) throw std::runtime_error("the reading never reached Text3 and Text4");
    return Micros(*shown - start);
  };
  const std::vector<std::vector<double>> taken = Interleave(samples, {bare, click});
  QObject::disconnect(watch);
  return MedianAndP99("Feedback round trip", taken[1], taken[0], 100,
                      "QTest click on Feedback, a device thread on the master answers at once, "
                      "until Text3 and Text4 hold the reading; floor: write() the request to the "
                      "slave, the same thread answers, read() the reply on the slave");
}

}  // namespace korvalen::bench
