#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <chrono>

#include "serial/host_port_return.h"

namespace korvalen {
namespace {

// A device that is back but will not open yet (another program probing it) gives no sign when it
// frees; it is tried again this often until it opens or goes.
constexpr std::chrono::seconds kRetry{1};

// The folder a device of `path` will appear in, or the nearest one above it that is there now:
// /dev/serial/by-id goes away with the last adapter and comes back with the first.
QString NearestFolder(const std::string& path) {
  QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
  while (!QFileInfo(folder).isDir() && QFileInfo(folder).path() != folder) {
    folder = QFileInfo(folder).path();
  }
  return folder;
}

class FolderWatch final : public QObject, public PortReturn {
 public:
  FolderWatch(const HostSerialLink& link, PortSource ports)
      : link_(link), ports_(std::move(ports)) {
    connect(&folders_, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::Look);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetry);
    connect(&retry_, &QTimer::timeout, this, &FolderWatch::Look);
  }

  // Only a change of the folder starts a look: a device still there just after its loss is the
  // one that was lost, and opening it at once would lose it again.
  void Watch(std::function<void()> back) override {
    back_ = std::move(back);
    lost_ = link_.LastOpened();
    Follow();
  }

  void Stop() override {
    back_ = {};
    retry_.stop();
    Unwatch();
  }

 private:
  void Follow() {
    const QString folder = NearestFolder(lost_.second.path);
    if (folders_.directories() == QStringList{folder}) return;
    Unwatch();
    folders_.addPath(folder);
  }

  // Qt warns of an empty list to remove.
  void Unwatch() {
    if (!folders_.directories().isEmpty()) folders_.removePaths(folders_.directories());
  }

  void Look() {
    if (!back_) return;
    Follow();
    if (!IsBack()) return;
    const std::function<void()> back = back_;
    back();
    // Still watching: the device is there but did not open.
    if (back_) retry_.start();
  }

  [[nodiscard]] bool IsBack() const {
    const auto& [number, lost] = lost_;
    const std::optional<PortEntry> now = ports_().Entry(number);
    return now && QFileInfo::exists(QString::fromStdString(now->path)) && IsSameDevice(lost, *now);
  }

  const HostSerialLink& link_;
  PortSource ports_;
  std::pair<std::int16_t, PortEntry> lost_;
  std::function<void()> back_;
  QFileSystemWatcher folders_;
  QTimer retry_;
};

}  // namespace

std::unique_ptr<PortReturn> WatchHostPorts(const HostSerialLink& link, PortSource ports) {
  return std::make_unique<FolderWatch>(link, std::move(ports));
}

}  // namespace korvalen
