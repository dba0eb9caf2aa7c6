#include "serial/host_serial_link.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTest>
#include <chrono>
#include <string>
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

const Bytes kPosition = {0x80, 0x00, 0x05, 0xE6, 0x95, 0x00, 0x00};  // ID 0 to 1510
const Bytes kStop = {0x80, 0xEB, 0x00, 0x00, 0x95, 0x00, 0x00};
const Bytes kShutdown = {0x80, 0xEF, 0x00, 0x00, 0x91, 0x00, 0x00};

class ComPortSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(record_.fileName().isEmpty())
        << "KORVALEN_COM1_RECEIVED is unset: run this through ctest, whose fixture maps COM1";
    ASSERT_TRUE(record_.open(QIODevice::ReadOnly)) << record_.fileName().toStdString();
    record_.readAll();
    link_.SetCommPort(1);
    link_.SetSettings("19200,N,8,2");
  }

  // What the device end received since the last call.
  Bytes Received() {
    const QByteArray bytes = record_.readAll();
    return {bytes.begin(), bytes.end()};
  }

  // Waits for `count` bytes at the device end, then a little longer for any that should not come.
  Bytes ReceiveAll(std::size_t count) {
    Bytes got;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          const Bytes more = Received();
          got.insert(got.end(), more.begin(), more.end());
          return got.size() >= count;
        },
        5000))
        << got.size() << " of " << count << " bytes arrived";
    QTest::qWait(100);
    const Bytes late = Received();
    got.insert(got.end(), late.begin(), late.end());
    return got;
  }

  QFile record_{QString::fromLocal8Bit(qgetenv("KORVALEN_COM1_RECEIVED"))};
  HostSerialLink link_;  // the host's own ports: on Windows port 1 is COM1
};

TEST_F(ComPortSendTest, AFrameIsOnTheLineWhenSetOutputReturns) {
  ASSERT_NO_THROW(link_.SetPortOpen(true));
  link_.SetOutput(kPosition);
  // No event loop runs here: bytes still waiting in the link's buffer for one would never leave.
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Received(), kPosition);
  link_.SetPortOpen(false);
}

TEST_F(ComPortSendTest, FramesArriveInOrderAndTheCloseRightAfterThemDrainsThem) {
  ASSERT_NO_THROW(link_.SetPortOpen(true));
  link_.SetOutput(kPosition);
  link_.SetOutput(kStop);
  link_.SetOutput(kShutdown);
  link_.SetPortOpen(false);
  EXPECT_FALSE(link_.PortOpen());

  Bytes sent = kPosition;
  sent.insert(sent.end(), kStop.begin(), kStop.end());
  sent.insert(sent.end(), kShutdown.begin(), kShutdown.end());
  EXPECT_EQ(ReceiveAll(sent.size()), sent);
}

TEST_F(ComPortSendTest, ANumberWithNoComPortIsRefusedWithThePortsListed) {
  link_.SetCommPort(99);
  try {
    link_.SetPortOpen(true);
    FAIL() << "port 99 opened";
  } catch (const SerialError& error) {
    const std::string why = error.what();
    EXPECT_NE(why.find("no such port"), std::string::npos) << why;
    EXPECT_NE(why.find("1: COM1"), std::string::npos) << why;
  }
  EXPECT_FALSE(link_.PortOpen());
}

}  // namespace
}  // namespace korvalen
