#include "serial/line_guard.h"

// Where there is no POSIX terminal interface (Windows), the system opens a serial port for one
// program at a time, Qt's write completes only once the driver has taken the bytes, and a failed
// call on the port means the port itself failed.
namespace korvalen::line_guard {

OpenResult OpenExclusively(QSerialPort& port, const std::string& path) {
  port.setPortName(QString::fromStdString(path));
  return port.open(QIODevice::ReadWrite) ? OpenResult::kOpened : OpenResult::kFailed;
}

bool DrainSystemQueue(QSerialPort& /*port*/, std::chrono::steady_clock::time_point /*deadline*/) {
  return true;
}

std::size_t SystemQueueSize(QSerialPort& /*port*/) {
  return 0;
}

std::optional<LineErrorCounts> ReadLineErrors(QSerialPort& /*port*/) {
  return std::nullopt;
}

bool DeviceGone(QSerialPort& port) {
  const QSerialPort::SerialPortError error = port.error();
  return error == QSerialPort::ResourceError || error == QSerialPort::WriteError ||
         error == QSerialPort::ReadError;
}

}  // namespace korvalen::line_guard
