#pragma once

#include <memory>

#include "serial/host_serial_link.h"
#include "serial/port_return.h"

// The watch for a lost port's return. Where devices are files in folders the system reports
// changes of (Linux, macOS), folder_port_return.cpp watches those folders and costs nothing while
// it waits; other systems (Windows) build listed_port_return.cpp, which reads the system's list of
// ports again once a second while it waits.
namespace korvalen {

// Watches for the device `link` last opened to be there again as the same port number of `ports`,
// as IsSameDevice decides.
[[nodiscard]] std::unique_ptr<PortReturn> WatchHostPorts(const HostSerialLink& link,
                                                         PortSource ports);

}  // namespace korvalen
