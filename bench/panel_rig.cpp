#include "bench/panel_rig.h"

#include <poll.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>

namespace korvalen::bench {

PanelRig::PanelRig() : comm_(pty_.Table()), window_(comm_) {
  window_.show();
  if (!QTest::qWaitForWindowExposed(&window_)) throw std::runtime_error("the window never showed");
  auto& connect = Find<QPushButton>(window_, "Command1");
  QTest::mouseClick(&connect, Qt::LeftButton);
  if (!comm_.PortOpen() || connect.text() != QStringLiteral("NotConnect")) {
    throw std::runtime_error("the panel did not connect to " + pty_.SlavePath());
  }
  Settle();
}

void Settle() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

CommandFrame ReadFrame(int fd) {
  // Waiting in poll() first keeps the event loop out of the sample: the shared read gives the loop
  // a turn after a millisecond of silence, which would paint the pressed button inside the time
  // and, on the panel's own line, let the link take the reply meant for the floor.
  pollfd ready{fd, POLLIN, 0};
  ::poll(&ready, 1, 5000);
  const std::vector<std::uint8_t> bytes = sim::ReadUpTo(fd, kFrameSize, std::chrono::seconds(5));
  if (bytes.size() != kFrameSize) throw std::runtime_error("the pseudo-terminal stayed silent");
  CommandFrame frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return frame;
}

std::vector<std::vector<double>> Interleave(int samples,
                                            const std::vector<std::function<double()>>& ways) {
  constexpr int kWarmUp = 200;
  std::vector<std::vector<double>> taken(ways.size());
  for (int round = 0; round < kWarmUp + samples; ++round) {
    for (std::size_t i = 0; i < ways.size(); ++i) {
      const std::size_t way = (i + static_cast<std::size_t>(round)) % ways.size();
      const double elapsed = ways[way]();
      if (round >= kWarmUp) taken[way].push_back(elapsed);
    }
    Settle();
  }
  return taken;
}

std::vector<Row> MedianAndP99(const std::string& name, const std::vector<double>& figure,
                              const std::vector<double>& floor, double limit,
                              const std::string& how) {
  const Summary panel = Summarize(figure);
  const Summary bare = Summarize(floor);
  const std::string detail = Cat(how, "; ", figure.size(), " samples each, interleaved");
  return {Row(name + ", median", "us", panel.median, bare.median, Row::Measure::kDifference, {},
              detail),
          Row(name + ", p99", "us", panel.p99, bare.p99, Row::Measure::kDifference, limit, detail)};
}

}  // namespace korvalen::bench
