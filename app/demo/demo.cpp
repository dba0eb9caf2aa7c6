#include "app/demo/demo.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace korvalen {
namespace {

// Room for the window manager's frames between the two windows.
constexpr int kGap = 24;

}  // namespace

// Port 1 is the simulated device and no number names anything else, so the demo can never open one
// of the host's real ports, whatever the operator types.
Demo::Demo()
    : comm_(device_.Table()),
      panel_(comm_, [ports = device_.Table()] { return ports().Describe(); }),
      simulator_(device_) {
  // Closing the panel ends the demo; the simulator window alone does not keep it running.
  simulator_.setAttribute(Qt::WA_QuitOnClose, false);
}

void Demo::Show() {
  // Positions are set before showing, so the pair comes up centred however the window manager
  // would otherwise place them.
  const QScreen* const screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect available = screen->availableGeometry();
    const int width = panel_.width() + kGap + simulator_.width();
    const int height = std::max(panel_.height(), simulator_.height());
    const QPoint origin(available.left() + std::max(0, (available.width() - width) / 2),
                        available.top() + std::max(0, (available.height() - height) / 2));
    panel_.move(origin);
    simulator_.move(origin + QPoint(panel_.width() + kGap, 0));
  }
  panel_.show();
  simulator_.show();
  panel_.activateWindow();
}

}  // namespace korvalen
