#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_link.h"

namespace korvalen {

// The device path for a port number, or none.
using PortTable = std::function<std::optional<std::string>(int port)>;

// The host's ports: on Windows port N is COMN; elsewhere the ports the host reports, USB adapters
// first, each group in natural order. Read afresh at every call, so a late adapter is found.
[[nodiscard]] PortTable HostPorts();

// The host's ports as numbered by HostPorts(), one "N: path  description (serial)" line each.
[[nodiscard]] std::string DescribeHostPorts();

// The link over a real serial device, with the guarantees a device on the other end needs: bytes
// leave at once and in order, a close waits for them to drain, and a vanished port ends in one
// clean close instead of an error loop.
class HostSerialLink final : public SerialLink {
 public:
  explicit HostSerialLink(PortTable ports = HostPorts());
  ~HostSerialLink() override;
  HostSerialLink(const HostSerialLink&) = delete;
  HostSerialLink& operator=(const HostSerialLink&) = delete;

  void SetCommPort(std::int16_t port) override;
  void SetSettings(const std::string& settings) override;
  [[nodiscard]] bool PortOpen() const override;
  void SetPortOpen(bool open) override;
  void SetInBufferCount(int count) override;
  void SetOutput(std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] std::int16_t CommEvent() const override;
  [[nodiscard]] std::vector<std::uint8_t> Input() override;
  void SetOnComm(std::function<void()> handler) override;
  void SetOnPortLost(std::function<void()> handler) override;

 private:
  class Port;
  std::unique_ptr<Port> port_;
};

}  // namespace korvalen
