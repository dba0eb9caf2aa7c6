#pragma once

#include <memory>
#include <string>

#include "serial/port_table.h"
#include "serial/serial_link.h"

namespace korvalen {

// The host's ports as it reports them now: on Windows port N is COMN; elsewhere USB adapters come
// first, each group in natural order (PortTable::Numbered).
[[nodiscard]] PortSource HostPorts();

// The link over a real serial device, with the guarantees a device on the other end needs:
// SetOutput hands the system at once what the line takes, and keeps the rest, in order, for the
// event loop to hand over as the line takes it (OutBufferCount, kEventSend); a close waits at most
// 2 s for every byte to leave the system's queue and the transmitter, where the driver tells, then
// drops what is left and says how much; and a vanished port ends in one clean close instead of an
// error loop.
class HostSerialLink final : public SerialLink {
 public:
  explicit HostSerialLink(PortSource ports = HostPorts());
  ~HostSerialLink() override;
  HostSerialLink(const HostSerialLink&) = delete;
  HostSerialLink& operator=(const HostSerialLink&) = delete;

  void SetCommPort(std::int16_t port) override;
  void SetSettings(const std::string& settings) override;  // applies at the next open
  [[nodiscard]] bool PortOpen() const override;
  void SetPortOpen(bool open) override;
  void SetInBufferCount(int count) override;
  void SetOutput(std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] std::size_t OutBufferCount() const override;
  [[nodiscard]] std::int16_t CommEvent() const override;
  [[nodiscard]] std::vector<std::uint8_t> Input() override;
  [[nodiscard]] std::string PortName() const override;
  void SetOnComm(std::function<void()> handler) override;
  void SetOnPortLost(std::function<void()> handler) override;

  // The port the link last opened, by its number and as the port table named it then (path and
  // serial number); kept after the port closes or goes, so its return can be recognised.
  [[nodiscard]] std::pair<std::int16_t, PortEntry> LastOpened() const;

 private:
  class Port;
  std::unique_ptr<Port> port_;
};

}  // namespace korvalen
