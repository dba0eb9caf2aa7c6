#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "protocol/frame.h"
#include "serial/serial_link.h"

namespace korvalen::testing {

// A link that records every call as a line ("CommPort 3", "Open", "Output 80 E8 00 00 98 00 00")
// and fails the operations a test names, so the panel's order of calls and failure paths show.
class RecordingLink : public SerialLink {
 public:
  void SetCommPort(std::int16_t port) override { Record("CommPort " + std::to_string(port)); }
  void SetSettings(const std::string& settings) override { Record("Settings " + settings); }
  [[nodiscard]] bool PortOpen() const override { return open; }
  void SetPortOpen(bool value) override {
    // A close that fails has closed all the same, as the host's link does on a line that would not
    // drain; an open that fails has opened nothing.
    if (!value) open = false;
    Record(value ? "Open" : "Close");
    open = value;
  }
  void SetInBufferCount(int count) override {
    Record("InBufferCount " + std::to_string(count));
    waiting.clear();
  }
  void SetOutput(std::span<const std::uint8_t> bytes) override { Record("Output " + ToHex(bytes)); }
  [[nodiscard]] std::size_t OutBufferCount() const override { return held; }
  [[nodiscard]] std::int16_t CommEvent() const override { return event; }
  [[nodiscard]] std::vector<std::uint8_t> Input() override {
    Record("Input");
    return std::exchange(waiting, {});
  }
  [[nodiscard]] std::string PortName() const override { return open ? "1: /dev/ttyUSB0" : ""; }
  void SetOnComm(std::function<void()> handler) override { on_comm = std::move(handler); }
  void SetOnPortLost(std::function<void()> handler) override { on_lost = std::move(handler); }

  // Bytes arrive and the link raises OnComm; 2 is the code for data received.
  void Receive(const std::vector<std::uint8_t>& bytes, std::int16_t code = 2) {
    waiting.insert(waiting.end(), bytes.begin(), bytes.end());
    event = code;
    if (on_comm) on_comm();
  }
  void LosePort() {
    open = false;
    if (on_lost) on_lost();
  }

  bool open = false;
  std::size_t held = 0;  // what OutBufferCount says
  std::int16_t event = 0;
  std::vector<std::uint8_t> waiting;
  std::vector<std::string> calls;
  std::set<std::string> failing;  // operations ("Open", "Output"...) that throw "failed"
  std::function<void()> on_comm;
  std::function<void()> on_lost;

 private:
  void Record(std::string call) {
    const bool fails = failing.contains(call.substr(0, call.find(' ')));
    calls.push_back(std::move(call));
    if (fails) throw SerialError("failed");
  }
};

}  // namespace korvalen::testing
