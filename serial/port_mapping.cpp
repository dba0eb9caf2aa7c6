#include "serial/port_mapping.h"

#include <charconv>
#include <utility>

namespace korvalen {

std::variant<std::pair<int, std::string>, std::string> ParsePortMapping(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return "--port " + std::string(text) + ": expected N=PATH, e.g. --port 1=/dev/ttyUSB0";
  }
  const std::string_view number = text.substr(0, equals);
  const std::string_view path = text.substr(equals + 1);
  int port = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), port);
  if (number.empty() || error != std::errc{} || end != number.data() + number.size() || port < 1 ||
      port > 255) {
    return "--port " + std::string(text) + ": the port number must be a whole number from 1 to 255";
  }
  if (path.empty()) return "--port " + std::string(text) + ": the device path is empty";
  return std::pair<int, std::string>{port, std::string(path)};
}

PortSource WithMappedPorts(PortMap mapped, PortSource ports) {
  return [mapped = std::move(mapped), ports = std::move(ports)] {
    PortTable table = ports ? ports() : PortTable();
    for (const auto& [number, path] : mapped) {
      table.Put(number, {path, "named with --port", ""});
    }
    return table;
  };
}

}  // namespace korvalen
