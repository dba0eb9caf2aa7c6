#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "app/command_line.h"

namespace korvalen {

// The engineer's settings for the panel, for the operator who starts it from a launcher or the
// Start menu and so gives no options: what --log, --reconnect and --port would say, read at start
// and never written by the program.
//
//   log=/home/op/korvalen-traffic.log
//   reconnect=true
//
//   [ports]
//   1=/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0
//
// Values are taken as they stand, with no quotes or escapes, so a Windows path keeps its
// backslashes. A line that says nothing the panel knows is ignored and named in `problems`.
struct Settings {
  PortMap ports;
  std::string log;
  bool reconnect = false;
  std::vector<std::string> problems;
};

// This user's file: ${XDG_CONFIG_HOME:-$HOME/.config}/korvalen/korvalen.conf, on Windows
// %APPDATA%\korvalen\korvalen.conf.
[[nodiscard]] QString SettingsPath();

// What --help adds: where the file is for this user and what it may hold.
[[nodiscard]] QString SettingsHelp();

// The settings in `text`, the file at `path` (which problems name).
[[nodiscard]] Settings ParseSettings(std::string_view text, const std::string& path);

// The file at `path`: none there is no settings, one that cannot be read is one problem.
[[nodiscard]] Settings ReadSettings(const QString& path);

// What the file says, where the command line says nothing: the command line wins, port by port.
void ApplySettings(Settings settings, CommandLine& line);

}  // namespace korvalen
