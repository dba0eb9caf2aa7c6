#include <QObject>
#include <QTimer>
#include <chrono>

#include "serial/host_port_return.h"

namespace korvalen {
namespace {

// Where ports are not files in a folder the system reports changes of (Windows: COMN), the list
// of ports the system keeps is read again this often, and only while a lost port is awaited. The
// first look is one interval after the loss: a port still listed at once is the one just lost.
constexpr std::chrono::seconds kLookEvery{1};

class ListWatch final : public QObject, public PortReturn {
 public:
  ListWatch(const HostSerialLink& link, PortSource ports) : link_(link), ports_(std::move(ports)) {
    look_.setInterval(kLookEvery);
    connect(&look_, &QTimer::timeout, this, &ListWatch::Look);
  }

  void Watch(std::function<void()> back) override {
    back_ = std::move(back);
    lost_ = link_.LastOpened();
    look_.start();
  }

  void Stop() override {
    back_ = {};
    look_.stop();
  }

 private:
  // A port that is listed but does not open yet (the system still setting it up) is tried again
  // at the next look, until the panel stops the watch.
  void Look() {
    if (!back_) return;
    const auto& [number, lost] = lost_;
    const std::optional<PortEntry> now = ports_().Entry(number);
    if (!now || !IsSameDevice(lost, *now)) return;
    const std::function<void()> back = back_;
    back();
  }

  const HostSerialLink& link_;
  PortSource ports_;
  std::pair<std::int16_t, PortEntry> lost_;
  std::function<void()> back_;
  QTimer look_;
};

}  // namespace

std::unique_ptr<PortReturn> WatchHostPorts(const HostSerialLink& link, PortSource ports) {
  return std::make_unique<ListWatch>(link, std::move(ports));
}

}  // namespace korvalen
