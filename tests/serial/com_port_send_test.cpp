#include "serial/host_serial_link.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTest>
#include <chrono>
#include <thread>
#include <vector>

// The link's sending side on Windows over a real COM port. The test's fixture
// (tests/windows/com_port.sh) makes COM1 one end of a pseudo-terminal pair on the host running
// Wine and records everything that reaches the other end, where a device would sit, in a file this
// program reads through Wine's drive Z:. Receiving is left out: Wine 8.0 never tells QSerialPort
// that bytes arrived, where Windows does.
namespace korvalen {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

QByteArray Text(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

TEST(ComPort, AFrameIsOnCom1WhenSetOutputReturnsAndACloseDrainsTheRestInOrder) {
  QFile record(QString::fromLocal8Bit(qgetenv("KORVALEN_COM1_RECEIVED")));
  ASSERT_TRUE(record.open(QIODevice::ReadOnly)) << "run through ctest, whose fixture maps COM1";
  record.readAll();
  HostSerialLink link;  // the host's own ports: on Windows port 1 is COM1
  link.SetSettings("19200,N,8,2");
  ASSERT_NO_THROW(link.SetPortOpen(true));
  const Bytes position = {0x80, 0x00, 0x05, 0xE6, 0x95, 0x00, 0x00};
  const Bytes stop = {0x80, 0xEB, 0x00, 0x00, 0x95, 0x00, 0x00};
  const Bytes shutdown = {0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00};
  link.SetOutput(position);
  // No event loop runs here: bytes still waiting in the link's buffer for one would never leave.
  std::this_thread::sleep_for(500ms);
  QByteArray received = record.readAll();
  EXPECT_EQ(received, Text(position));
  link.SetOutput(stop);
  link.SetOutput(shutdown);
  link.SetPortOpen(false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return (received += record.readAll()).size() >= 21; }, 5000));
  QTest::qWait(100);  // for any byte that should not come
  EXPECT_EQ(received + record.readAll(), Text(position) + Text(stop) + Text(shutdown));
}

}  // namespace
}  // namespace korvalen
