#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "serial/port_table.h"

namespace korvalen {

// Port numbers the operator named on the command line (--port N=PATH), for devices the host
// does not list as serial ports: a /dev/serial/by-id name, a socat port, a pseudo-terminal.
using PortMap = std::map<int, std::string>;

// "3=/dev/ttyS9" -> {3, "/dev/ttyS9"}, or a one-line reason it is malformed.
[[nodiscard]] std::variant<std::pair<int, std::string>, std::string> ParsePortMapping(
    std::string_view text);

// The tables of `ports` with the mapped numbers naming the operator's paths instead, so a host
// port whose number is mapped is out of reach and is not listed.
[[nodiscard]] PortSource WithMappedPorts(PortMap mapped, PortSource ports);

}  // namespace korvalen
