#pragma once

#include <QStringList>

#include "app/command_line.h"

namespace korvalen {

// The demo's command line: --help and --version only. It takes no --port, because its one port is
// the simulated device.
[[nodiscard]] CommandLine ParseDemoCommandLine(const QStringList& arguments);

}  // namespace korvalen
