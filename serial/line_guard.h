#pragma once

#include <QSerialPort>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "serial/line_events.h"

// What a device on the line needs and Qt's serial port does not do on every system. POSIX systems
// build posix_line_guard.cpp; the others build plain_line_guard.cpp, which leaves each of these to
// the serial port and the system as they are.
namespace korvalen::line_guard {

enum class OpenResult {
  kOpened,
  kMissing,  // the device is not there
  kDenied,   // this user may not open it
  kBusy,     // another program has it
  kFailed,   // the port's own error says why
};

// Opens `port` (line settings already set) on `path` for this program alone, even against another
// program that root would pass, so no second writer's bytes ever mix with ours on the line.
[[nodiscard]] OpenResult OpenExclusively(QSerialPort& port, const std::string& path);

// Once Qt has handed every byte to the system: waits, never past `deadline`, for the system's queue
// to empty and, where the driver tells, the transmitter too. False if some remain at the deadline
// or the queue cannot be read.
[[nodiscard]] bool DrainSystemQueue(QSerialPort& port,
                                    std::chrono::steady_clock::time_point deadline);

// Bytes the system holds for the line and has not sent yet.
[[nodiscard]] std::size_t SystemQueueSize(QSerialPort& port);

// The driver's running totals of line errors, where the system keeps them.
[[nodiscard]] std::optional<LineErrorCounts> ReadLineErrors(QSerialPort& port);

// After a call on the open port failed: true when the device has gone (unplugged, hung up), false
// when the line only could not take more bytes yet.
[[nodiscard]] bool DeviceGone(QSerialPort& port);

}  // namespace korvalen::line_guard
