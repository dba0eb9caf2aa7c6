#include "app/panel_options.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "serial/host_port_return.h"

namespace korvalen {

PanelOptions::PanelOptions(const CommandLine& command_line, frm_Korvalen& window,
                           const HostSerialLink& comm, PortSource ports)
    : window_(window), panel_(window.State()) {
  if (!command_line.problems.empty()) {
    std::string text;
    for (const std::string& problem : command_line.problems) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                   problem.c_str());
      text += (text.empty() ? "" : "\n") + problem;
    }
    Tell("Settings error!", text);
  }
  if (!command_line.log.empty()) {
    log_ = std::make_unique<TrafficLog>(
        QString::fromStdString(command_line.log), [&comm] { return comm.LastOpened().second; },
        [this](const std::string& problem) {
          std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                       problem.c_str());
          Tell("Log error!", problem);
        });
    panel_.SetObserver(log_.get());
  }
  if (command_line.reconnect) {
    port_return_ = WatchHostPorts(comm, std::move(ports));
    panel_.SetPortReturn(port_return_.get());
  }
}

// Shown from the event loop: after the window shows at start, and never inside a panel procedure
// that a failing log write happened in. One box after another, never one on top of another.
void PanelOptions::Tell(const std::string& prompt, const std::string& text) {
  told_.push_back({prompt, text});
  if (std::exchange(boxes_posted_, true)) return;
  QTimer::singleShot(0, &boxes_, [this] { ShowTold(); });
}

void PanelOptions::ShowTold() {
  while (!told_.empty()) {
    const Told next = told_.front();
    told_.pop_front();
    window_.MsgBox(next.prompt, next.text);
  }
  boxes_posted_ = false;
}

PanelOptions::~PanelOptions() {
  panel_.SetObserver(nullptr);
  panel_.SetPortReturn(nullptr);
}

}  // namespace korvalen
