#include "app/port_mapping.h"

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

std::function<std::optional<std::string>(int)> WithMappedPorts(
    PortMap mapped, std::function<std::optional<std::string>(int)> fallback) {
  return [mapped = std::move(mapped),
          fallback = std::move(fallback)](int port) -> std::optional<std::string> {
    if (const auto found = mapped.find(port); found != mapped.end()) return found->second;
    return fallback ? fallback(port) : std::nullopt;
  };
}

std::string DescribeWithMappedPorts(const PortMap& mapped, const std::string& host_description) {
  std::string text;
  for (const auto& [port, path] : mapped) {
    text += std::to_string(port) + ": " + path + "  (--port)\n";
  }
  // A host port whose number is mapped is out of reach; leave it out rather than list it twice.
  std::string_view rest = host_description;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    int port = 0;
    const auto [colon, error] = std::from_chars(line.data(), line.data() + line.size(), port);
    const bool shadowed = error == std::errc{} && colon != line.data() + line.size() &&
                          *colon == ':' && mapped.contains(port);
    if (!shadowed) {
      text.append(line);
      text += '\n';
    }
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace korvalen
