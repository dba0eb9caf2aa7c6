#include "serial/host_serial_link.h"

#include <termios.h>
#include <time.h>

#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <memory>
#include <numeric>
#include <thread>

#include "sim/pseudo_terminal.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The receive event's code, as the panel compares it.
constexpr std::int16_t kReceive = 2;

class HostSerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link_.SetSettings("19200,N,8,2");
    link_.SetOnComm([this] { events_.push_back(link_.CommEvent()); });
    link_.SetOnPortLost([this] { ++lost_; });
  }

  std::string OpenFailure(HostSerialLink& link) {
    try {
      link.SetPortOpen(true);
    } catch (const SerialError& error) {
      return error.what();
    }
    return "opened";
  }

  sim::PseudoTerminal pty_;
  HostSerialLink link_{pty_.Table()};
  std::vector<std::int16_t> events_;
  int lost_ = 0;
};

Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{3});
  return bytes;
}

TEST_F(HostSerialLinkTest, OpenPutsTheSettingsOnARawLineAndRefusesMalformedOnes) {
  link_.SetPortOpen(true);
  termios line{};
  ASSERT_EQ(::tcgetattr(pty_.Slave(), &line), 0);
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0U);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0U);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
  EXPECT_EQ(line.c_oflag & OPOST, 0U);
  EXPECT_EQ(pty_.SlaveSettings(), "19200,N,8,2");
  link_.SetPortOpen(false);
  // A pseudo-terminal keeps 8 data bits and no parity whatever is asked; speed and stop bits show.
  const std::pair<const char*, const char*> cases[] = {{"9600,E,7,1", "9600,N,8,1"},
                                                       {"1200,N,5,1.5", "1200,N,8,2"},
                                                       {"115200,O,8,2", "115200,N,8,2"}};
  for (const auto& [settings, seen] : cases) {
    link_.SetSettings(settings);
    link_.SetPortOpen(true);
    EXPECT_EQ(pty_.SlaveSettings(), seen) << settings;
    link_.SetPortOpen(false);
  }
  EXPECT_THROW(link_.SetSettings("19200,N,9,2"), SerialError);
  link_.SetPortOpen(true);
  EXPECT_EQ(pty_.SlaveSettings(), "115200,N,8,2") << "the last good settings stay";
}

TEST_F(HostSerialLinkTest, OutputIsOnTheLineWhenTheCallReturns) {
  link_.SetPortOpen(true);
  const Bytes frame = {0x80, 0xE8, 0x00, 0x00, 0x98, 0x00, 0x00};
  link_.SetOutput(frame);
  // No event loop runs here: bytes left for a later turn of it would never come.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(pty_.ReadAvailable(), frame);
}

TEST_F(HostSerialLinkTest, ManyFramesPastAStalledReaderArriveExactAndInOrder) {
  link_.SetPortOpen(true);
  Bytes sent;
  for (int i = 0; i < 10'000; ++i) {
    const Bytes frame = {
        0x80, static_cast<std::uint8_t>(i & 0x7F), static_cast<std::uint8_t>(i >> 7), 0, 0, 0, 0};
    link_.SetOutput(frame);
    sent.insert(sent.end(), frame.begin(), frame.end());
  }
  QTest::qWait(100);  // nobody reads yet: the rest must wait in the link, not be lost
  EXPECT_TRUE(link_.PortOpen());
  const Bytes got = pty_.Read(sent.size(), 5s);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
  QTest::qWait(20);
  EXPECT_EQ(pty_.ReadAvailable(), Bytes{});
  EXPECT_EQ(lost_, 0);
}

TEST_F(HostSerialLinkTest, ReceiveEventNeedsSevenWaitingBytesAndComesFromTheEventLoop) {
  struct Case {
    std::vector<Bytes> pieces;  // sent 20 ms apart
    std::vector<std::int16_t> events;
    std::size_t input_size;
  };
  const Case cases[] = {{{{1, 2, 3}, {4, 5, 6, 7}}, {kReceive}, 7},
                        {{{1, 2, 3, 4, 5, 6, 7, 8}}, {kReceive}, 8},
                        {{{1, 2, 3, 4, 5, 6}}, {}, 6},
                        {{{1}, {2}, {3}, {4}, {5}, {6}, {7}}, {kReceive}, 7}};
  for (const Case& c : cases) {
    sim::PseudoTerminal pty;
    HostSerialLink link(pty.Table());
    std::vector<std::int16_t> events;
    std::size_t input_size = 0;
    link.SetOnComm([&] {
      events.push_back(link.CommEvent());
      input_size = link.Input().size();
    });
    link.SetPortOpen(true);
    for (const Bytes& piece : c.pieces) {
      pty.Write(piece);
      QTest::qWait(20);
    }
    QTest::qWait(50);
    EXPECT_EQ(events, c.events) << c.pieces.size() << " pieces";
    EXPECT_EQ(c.events.empty() ? link.Input().size() : input_size, c.input_size);
  }

  link_.SetPortOpen(true);
  pty_.Write(Counting(7));
  std::this_thread::sleep_for(20ms);
  link_.SetOutput(Counting(7));
  EXPECT_TRUE(events_.empty()) << "raised inside SetOutput";
  EXPECT_TRUE(QTest::qWaitFor([this] { return !events_.empty(); }, 1000));
}

TEST_F(HostSerialLinkTest, ClearInputDropsWhatCameBeforeAndKeepsWhatCameAfter) {
  link_.SetPortOpen(true);
  pty_.Write(Bytes{0xEE, 0xEE, 0xEE});
  QTest::qWait(30);  // now in the link's own buffer
  pty_.Write(Bytes{0xDD, 0xDD});
  std::this_thread::sleep_for(20ms);  // still in the system's queue
  link_.SetInBufferCount(0);
  pty_.Write(Counting(7));
  ASSERT_TRUE(QTest::qWaitFor([this] { return !events_.empty(); }, 1000));
  EXPECT_EQ(link_.Input(), Counting(7));
}

TEST_F(HostSerialLinkTest, ClosingOrDestroyingDeliversEverythingWrittenFirst) {
  // More than a pseudo-terminal holds, so most of it still waits in the link when it closes.
  const Bytes sent = Counting(60'000);
  for (const bool destroy : {false, true}) {
    auto link = std::make_unique<HostSerialLink>(pty_.Table());
    link->SetPortOpen(true);
    link->SetOutput(sent);
    Bytes got;
    std::thread reader([&] { got = pty_.Read(sent.size(), 3s); });
    destroy ? link.reset() : link->SetPortOpen(false);
    reader.join();
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size()
                             << (destroy ? " destroyed" : "");
  }
}

TEST_F(HostSerialLinkTest, CloseOnAHeldLineGivesUpAfterTwoSecondsAndSaysSo) {
  link_.SetPortOpen(true);
  link_.SetOutput(Bytes(200'000, 0x11));
  const auto start = std::chrono::steady_clock::now();
  try {
    link_.SetPortOpen(false);
    ADD_FAILURE() << "close reported success with bytes unsent";
  } catch (const SerialError& error) {
    const std::string reason = error.what();
    EXPECT_EQ(reason.find("closed " + pty_.SlavePath() + " with "), 0U) << reason;
    EXPECT_NE(reason.find(" bytes unsent: the line took none for 2 s"), std::string::npos);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 1900ms);
  EXPECT_LT(took, 4s);
  EXPECT_FALSE(link_.PortOpen());
  EXPECT_NO_THROW(link_.SetPortOpen(true));
}

TEST_F(HostSerialLinkTest, OpenFailureNamesTheMissingPortAndListsTheOthers) {
  const std::string pts = pty_.SlavePath();
  HostSerialLink two([&pts](int port) -> std::optional<std::string> {
    if (port == 1) return "/dev/korvalen-missing";
    if (port == 2) return pts;
    return std::nullopt;
  });
  const std::string listing = "; the ports are 1: /dev/korvalen-missing, 2: " + pts;
  const std::pair<std::int16_t, std::string> cases[] = {
      {1, "no such port: /dev/korvalen-missing is not there" + listing},
      {0, "no such port: 0" + listing},
      {3, "no such port: 3" + listing}};
  for (const auto& [port, reason] : cases) {
    two.SetCommPort(port);
    EXPECT_EQ(OpenFailure(two), reason);
    EXPECT_FALSE(two.PortOpen());
  }
  HostSerialLink none([](int) { return std::optional<std::string>(); });
  EXPECT_EQ(OpenFailure(none), "no such port: 1; there are no serial ports");
}

double CpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(HostSerialLinkTest, AHangUpOrAFailedWriteClosesOnceReportsFromTheLoopAndIdles) {
  for (const bool write : {false, true}) {
    sim::PseudoTerminal pty;
    HostSerialLink link(pty.Table());
    int lost = 0;
    link.SetOnPortLost([&lost] { ++lost; });
    link.SetPortOpen(true);
    pty.HangUp();
    if (write) {
      EXPECT_NO_THROW(link.SetOutput(Counting(7)));
      EXPECT_FALSE(link.PortOpen());
      EXPECT_EQ(lost, 0) << "the handler ran inside SetOutput";
    }
    ASSERT_TRUE(QTest::qWaitFor([&lost] { return lost > 0; }, 2000));
    EXPECT_FALSE(link.PortOpen());
    const double cpu_before = CpuSeconds();
    QTest::qWait(300);
    EXPECT_EQ(lost, 1);
    EXPECT_LT(CpuSeconds() - cpu_before, 0.05) << "the event loop kept spinning after the hang-up";
  }
}

TEST_F(HostSerialLinkTest, RefusesDataOperationsWhenClosedAndASecondOpen) {
  EXPECT_THROW(link_.SetOutput(Counting(7)), SerialError);
  EXPECT_THROW((void)link_.Input(), SerialError);
  EXPECT_THROW(link_.SetInBufferCount(0), SerialError);
  EXPECT_NO_THROW(link_.SetPortOpen(false));
  link_.SetPortOpen(true);
  EXPECT_THROW(link_.SetInBufferCount(1), SerialError);
  EXPECT_EQ(OpenFailure(link_), "port " + pty_.SlavePath() + " is already open");
  EXPECT_TRUE(link_.PortOpen());
  EXPECT_EQ(pty_.ReadAvailable(), Bytes{});
}

}  // namespace
}  // namespace korvalen
