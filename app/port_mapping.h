#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace korvalen {

// Port numbers the operator named on the command line (--port N=PATH), for devices the host
// does not list as serial ports: a /dev/serial/by-id name, a socat port, a pseudo-terminal.
using PortMap = std::map<int, std::string>;

// "3=/dev/ttyS9" -> {3, "/dev/ttyS9"}, or a one-line reason it is malformed.
[[nodiscard]] std::variant<std::pair<int, std::string>, std::string> ParsePortMapping(
    std::string_view text);

// Mapped numbers first, then whatever the fallback table names.
[[nodiscard]] std::function<std::optional<std::string>(int)> WithMappedPorts(
    PortMap mapped, std::function<std::optional<std::string>(int)> fallback);

// The mapped ports as lines "N: PATH  (--port)", followed by the host's own description.
[[nodiscard]] std::string DescribeWithMappedPorts(const PortMap& mapped,
                                                  const std::string& host_description);

}  // namespace korvalen
