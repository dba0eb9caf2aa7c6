#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_link.h"

namespace korvalen::testing {

// A link that records every call as a line ("PortOpen true", "Output 80 E8 00 00 98 00 00") and
// fails the operations a test names, so the panel's order of calls and failure paths can be read.
class RecordingLink : public SerialLink {
 public:
  void SetCommPort(std::int16_t port) override {
    Record("CommPort " + std::to_string(port));
    FailIfAsked("CommPort");
  }
  void SetSettings(const std::string& settings) override {
    Record("Settings " + settings);
    FailIfAsked("Settings");
  }
  [[nodiscard]] bool PortOpen() const override { return open_; }
  void SetPortOpen(bool open) override {
    Record(std::string("PortOpen ") + (open ? "true" : "false"));
    FailIfAsked(open ? "Open" : "Close");
    open_ = open;
  }
  void SetInBufferCount(int count) override {
    Record("InBufferCount " + std::to_string(count));
    FailIfAsked("InBufferCount");
    waiting_.clear();
  }
  void SetOutput(std::span<const std::uint8_t> bytes) override {
    std::string line = "Output";
    for (const std::uint8_t byte : bytes) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", byte);
      line += hex;
    }
    Record(line);
    FailIfAsked("Output");
    written_.emplace_back(bytes.begin(), bytes.end());
  }
  [[nodiscard]] std::int16_t CommEvent() const override { return event_; }
  [[nodiscard]] std::vector<std::uint8_t> Input() override {
    FailIfAsked("Input");
    ++input_reads_;
    return std::exchange(waiting_, {});
  }
  void SetOnComm(std::function<void()> handler) override { on_comm_ = std::move(handler); }
  void SetOnPortLost(std::function<void()> handler) override { on_lost_ = std::move(handler); }

  // Bytes arrive and the link raises OnComm with the given event code.
  void Receive(std::vector<std::uint8_t> bytes, std::int16_t event = kEventReceive) {
    waiting_.insert(waiting_.end(), bytes.begin(), bytes.end());
    event_ = event;
    if (on_comm_) on_comm_();
  }
  void LosePort() {
    open_ = false;
    if (on_lost_) on_lost_();
  }
  void FailOn(const std::string& operation, const std::string& reason = "it failed") {
    failures_[operation] = reason;
  }
  void ClearFailures() { failures_.clear(); }
  void SetOpenWithoutRecord(bool open) { open_ = open; }

  [[nodiscard]] const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() {
    calls_.clear();
    written_.clear();
  }
  [[nodiscard]] const std::vector<std::vector<std::uint8_t>>& Written() const { return written_; }
  [[nodiscard]] const std::vector<std::uint8_t>& Waiting() const { return waiting_; }
  [[nodiscard]] int InputReads() const { return input_reads_; }
  [[nodiscard]] bool HasOnComm() const { return static_cast<bool>(on_comm_); }
  [[nodiscard]] bool HasOnPortLost() const { return static_cast<bool>(on_lost_); }

 private:
  void Record(std::string line) { calls_.push_back(std::move(line)); }
  void FailIfAsked(const std::string& operation) const {
    if (const auto it = failures_.find(operation); it != failures_.end()) {
      throw SerialError(it->second);
    }
  }

  bool open_ = false;
  std::int16_t event_ = kEventReceive;
  std::vector<std::uint8_t> waiting_;
  std::vector<std::string> calls_;
  std::vector<std::vector<std::uint8_t>> written_;
  std::map<std::string, std::string> failures_;
  std::function<void()> on_comm_;
  std::function<void()> on_lost_;
  int input_reads_ = 0;
};

}  // namespace korvalen::testing
