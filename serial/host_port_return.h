#pragma once

#include <memory>

#include "serial/host_serial_link.h"
#include "serial/port_return.h"

// The watch for a lost port's return over the host's device folders. Where devices are files in
// folders the system reports changes of (Linux, macOS), folder_port_return.cpp watches them; other
// systems build plain_port_return.cpp, which has no watch: a device that comes back there is
// connected by hand.
namespace korvalen {

// True where WatchHostPorts gives a watch.
[[nodiscard]] bool HostTellsOfReturningPorts();

// Watches for the device `link` last opened to be there again as the same port number of `ports`:
// the same serial number where the host gave one, else the same path (a /dev/serial/by-id name or
// a link named with --port stays the same). Null where the host cannot tell.
[[nodiscard]] std::unique_ptr<PortReturn> WatchHostPorts(const HostSerialLink& link,
                                                         PortSource ports);

}  // namespace korvalen
