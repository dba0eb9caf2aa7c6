#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvalen {

// A failure of the link; what() is a reason an operator can act on ("busy: another program has
// /dev/ttyUSB0 open").
struct SerialError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The serial-port operations the panel uses, and nothing more. The panel logic talks only to this,
// so it can be exercised without a port and the port without a window.
class SerialLink {
 public:
  // Codes CommEvent() reports when OnComm is raised.
  static constexpr std::int16_t kEventSend = 1;  // bytes the line would not take have all gone
  static constexpr std::int16_t kEventReceive = 2;
  // Line errors, counted by the port's driver; reported before the data they arrived with.
  static constexpr std::int16_t kEventBreak = 1001;
  static constexpr std::int16_t kEventFrame = 1004;
  static constexpr std::int16_t kEventOverrun = 1006;
  static constexpr std::int16_t kEventRxOver = 1008;
  static constexpr std::int16_t kEventRxParity = 1009;

  virtual ~SerialLink() = default;

  virtual void SetCommPort(std::int16_t port) = 0;  // selects the port for the next open
  virtual void SetSettings(
      const std::string& settings) = 0;  // "19200,N,8,2"; SerialError if malformed
  [[nodiscard]] virtual bool PortOpen() const = 0;
  // SerialError: no such port, busy, permission...; on a close, bytes the line would not take (a
  // failed close may have closed all the same: PortOpen says).
  virtual void SetPortOpen(bool open) = 0;
  virtual void SetInBufferCount(int count) = 0;  // 0 discards every received, unread byte
  // SerialError when the device has gone; the link has then closed itself, as below.
  virtual void SetOutput(std::span<const std::uint8_t> bytes) = 0;
  // Bytes given to SetOutput that the system has not taken yet, because the line would not take
  // them; OnComm reports kEventSend once they have all gone. After a close: those it dropped. A
  // link that hands every byte to the system at once holds none.
  [[nodiscard]] virtual std::size_t OutBufferCount() const { return 0; }
  [[nodiscard]] virtual std::int16_t CommEvent() const = 0;
  [[nodiscard]] virtual std::vector<std::uint8_t> Input() = 0;  // every waiting byte, removed
  // The open port as the operator knows it, "1: /dev/ttyUSB0  FT232R USB UART (A1B2C3)"; empty
  // while closed.
  [[nodiscard]] virtual std::string PortName() const = 0;
  // Raised on the thread that owns the link, from its event loop, never from inside another call.
  virtual void SetOnComm(std::function<void()> handler) = 0;
  // The open port went away (adapter unplugged, write failed); the link has closed itself. Comes
  // once a loss, from the event loop, also when the call that met the loss has thrown already.
  virtual void SetOnPortLost(std::function<void()> handler) = 0;
};

}  // namespace korvalen
