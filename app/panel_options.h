#pragma once

#include <QObject>
#include <deque>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "panel/frm_korvalen.h"
#include "panel/traffic_log.h"
#include "serial/host_serial_link.h"
#include "serial/port_return.h"

namespace korvalen {

// What the command line adds to a panel beyond its ports: the traffic log and the watch for a
// lost port's return, attached to the panel while this lives. With neither option the panel runs
// exactly as it would without this. What could not be used (settings entries, a log that cannot
// be written) is told on standard error and, since a launcher shows no terminal, in a message box
// once the window shows.
class PanelOptions {
 public:
  // `ports` are the ones `comm` opens from, where a returning device is looked for.
  PanelOptions(const CommandLine& command_line, frm_Korvalen& window, const HostSerialLink& comm,
               PortSource ports);
  ~PanelOptions();
  PanelOptions(const PanelOptions&) = delete;
  PanelOptions& operator=(const PanelOptions&) = delete;

 private:
  void Tell(const std::string& prompt, const std::string& text);
  void ShowTold();

  frm_Korvalen& window_;
  Panel& panel_;
  struct Told {
    std::string prompt;
    std::string text;
  };
  std::deque<Told> told_;
  // What the boxes are shown for; goes with this, so none shows after it.
  QObject boxes_;
  bool boxes_posted_ = false;
  std::unique_ptr<TrafficLog> log_;
  std::unique_ptr<PortReturn> port_return_;
};

}  // namespace korvalen
