#include "serial/host_serial_link.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "tests/serial/pty_pair.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::PumpFor;
using test::PumpUntil;
using Bytes = std::vector<std::uint8_t>;

// The line the panel uses; the link must put exactly this on the pty.
constexpr const char* kPanelSettings = "19200,N,8,2";

class HostSerialLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::EnsureApplication(); }

  void SetUp() override {
    link_.SetCommPort(1);
    link_.SetSettings(kPanelSettings);
    link_.SetOnComm([this] { events_.push_back(link_.CommEvent()); });
    link_.SetOnPortLost([this] { ++lost_; });
  }

  // Reads everything `sent` while the link's event loop runs, and nothing more.
  void ExpectReceived(const Bytes& sent) {
    const Bytes got = pty_.ReadExactly(sent.size(), 5s, [] { PumpFor(1ms); });
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    PumpFor(10ms);
    EXPECT_EQ(pty_.ReadAvailable(), Bytes{});
  }

  void Open() { ASSERT_NO_THROW(link_.SetPortOpen(true)); }

  // Lets the event loop deliver whatever the device sent.
  void Settle() { PumpFor(30ms); }

  PtyPair pty_;
  HostSerialLink link_{pty_.Table()};
  std::vector<std::int16_t> events_;
  int lost_ = 0;
};

std::string OpenFailure(HostSerialLink& link) {
  try {
    link.SetPortOpen(true);
  } catch (const SerialError& error) {
    return error.what();
  }
  return "opened";
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(HostSerialLinkTest, OpenAppliesTheSettingsRawWithNoFlowControl) {
  Open();
  termios line{};
  ASSERT_EQ(::tcgetattr(pty_.SlaveFd(), &line), 0);
  EXPECT_EQ(::cfgetospeed(&line), B19200);
  EXPECT_EQ(::cfgetispeed(&line), B19200);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(line.c_cflag & CSTOPB, 0U);
  EXPECT_EQ(line.c_cflag & PARENB, 0U);
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0U);
  EXPECT_NE(line.c_cflag & CREAD, 0U);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0U);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0U);
  EXPECT_EQ(line.c_oflag & OPOST, 0U);
  EXPECT_TRUE(link_.PortOpen());
}

Bytes Frame(int i) {
  const auto b = [i](int shift) { return static_cast<std::uint8_t>((i >> shift) & 0x7F); };
  return {0x80, b(0), b(7), b(14), static_cast<std::uint8_t>(b(0) ^ b(7)), 0x00, 0x00};
}

TEST_F(HostSerialLinkTest, OutputIsOnTheLineWhenTheCallReturns) {
  Open();
  const Bytes frame = Frame(42);
  link_.SetOutput(frame);
  // No event loop runs here: bytes left waiting for a later turn of it would not arrive.
  EXPECT_EQ(pty_.ReadExactly(frame.size(), 500ms), frame);
}

TEST_F(HostSerialLinkTest, TenThousandFramesArriveExactAndInOrder) {
  Open();
  Bytes sent;
  for (int i = 0; i < 10'000; ++i) {
    const Bytes frame = Frame(i);
    link_.SetOutput(frame);
    sent.insert(sent.end(), frame.begin(), frame.end());
  }
  ExpectReceived(sent);
  EXPECT_TRUE(link_.PortOpen());
}

TEST_F(HostSerialLinkTest, AStalledReaderLosesNothingAndTheLinkStaysOpen) {
  Open();
  Bytes sent(40'000);
  std::iota(sent.begin(), sent.end(), std::uint8_t{0});
  for (std::size_t i = 0; i < sent.size(); i += 1000) {
    link_.SetOutput(std::span(sent).subspan(i, 1000));
  }
  PumpFor(100ms);
  EXPECT_TRUE(link_.PortOpen());
  ExpectReceived(sent);
  EXPECT_TRUE(link_.PortOpen());
  EXPECT_EQ(lost_, 0);
}

TEST_F(HostSerialLinkTest, ReceiveEventNeedsSevenWaitingBytes) {
  struct Case {
    const char* name;
    std::vector<Bytes> pieces;  // sent 20 ms apart
    std::vector<std::int16_t> events;
    std::size_t input_size;
  };
  const Case cases[] = {
      {"three then four", {{1, 2, 3}, {4, 5, 6, 7}}, {SerialLink::kEventReceive}, 7},
      {"eight at once", {{1, 2, 3, 4, 5, 6, 7, 8}}, {SerialLink::kEventReceive}, 8},
      {"six", {{1, 2, 3, 4, 5, 6}}, {}, 6},
      {"one at a time", {{1}, {2}, {3}, {4}, {5}, {6}, {7}}, {SerialLink::kEventReceive}, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPair pty;
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
      PumpFor(20ms);
    }
    PumpFor(50ms);
    EXPECT_EQ(events, c.events);
    if (c.events.empty()) {
      input_size = link.Input().size();
    }
    EXPECT_EQ(input_size, c.input_size);
  }
}

TEST_F(HostSerialLinkTest, ReceiveEventComesFromTheEventLoopNotFromOutput) {
  Open();
  pty_.Write({1, 2, 3, 4, 5, 6, 7});
  ::usleep(20'000);
  link_.SetOutput(Frame(1));
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(PumpUntil([this] { return !events_.empty(); }, 1s));
  EXPECT_EQ(events_, std::vector<std::int16_t>{SerialLink::kEventReceive});
}

TEST_F(HostSerialLinkTest, ClearInputDropsWhatCameBeforeAndKeepsWhatCameAfter) {
  Open();
  pty_.Write({0xEE, 0xEE, 0xEE});
  Settle();  // now in the link's own buffer
  pty_.Write({0xDD, 0xDD});
  ::usleep(20'000);  // still in the system's queue
  link_.SetInBufferCount(0);
  const Bytes after = {1, 2, 3, 4, 5, 6, 7};
  pty_.Write(after);
  ASSERT_TRUE(PumpUntil([this] { return !events_.empty(); }, 1s));
  EXPECT_EQ(link_.Input(), after);
}

TEST_F(HostSerialLinkTest, CloseDrainsWhatWasWrittenWithoutWaitingLonger) {
  Open();
  const Bytes frame = Frame(7);
  link_.SetOutput(frame);
  const auto start = std::chrono::steady_clock::now();
  link_.SetPortOpen(false);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(link_.PortOpen());
  EXPECT_EQ(pty_.ReadExactly(frame.size(), 200ms), frame);
  EXPECT_EQ(pty_.ReadAvailable(), Bytes{});
  // Hang guard only: a close that sat out a timeout would take seconds.
  EXPECT_LT(took, 250ms);
}

TEST_F(HostSerialLinkTest, CloseDrainsTheLinksOwnQueueToo) {
  Open();
  // More than a pty holds, so most of it waits in the link when the close begins.
  Bytes sent(60'000);
  std::iota(sent.begin(), sent.end(), std::uint8_t{3});
  link_.SetOutput(sent);
  Bytes got;
  std::thread reader([&] { got = pty_.ReadExactly(sent.size(), 3s); });
  link_.SetPortOpen(false);
  reader.join();
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
  EXPECT_FALSE(link_.PortOpen());
}

TEST_F(HostSerialLinkTest, CloseOnAHeldLineGivesUpAfterTwoSecondsAndSaysSo) {
  Open();
  link_.SetOutput(Bytes(200'000, 0x11));
  const auto start = std::chrono::steady_clock::now();
  try {
    link_.SetPortOpen(false);
    ADD_FAILURE() << "close reported success with bytes unsent";
  } catch (const SerialError& error) {
    EXPECT_NE(std::string(error.what()).find("unsent"), std::string::npos) << error.what();
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 1900ms);
  EXPECT_LT(took, 4s);
  EXPECT_FALSE(link_.PortOpen());
  EXPECT_NO_THROW(link_.SetPortOpen(true));
}

TEST_F(HostSerialLinkTest, OpenFailsWithAReasonTheOperatorCanActOn) {
  Open();
  HostSerialLink second(pty_.Table());
  EXPECT_EQ(OpenFailure(second).rfind("busy: ", 0), 0U) << OpenFailure(second);
  EXPECT_FALSE(second.PortOpen());

  const std::string listing = "1: " + pty_.SlavePath();
  for (const std::int16_t port : std::initializer_list<std::int16_t>{0, 2, -1, 255}) {
    SCOPED_TRACE(port);
    HostSerialLink other(pty_.Table());
    other.SetCommPort(port);
    const std::string reason = OpenFailure(other);
    EXPECT_EQ(reason.rfind("no such port", 0), 0U) << reason;
    EXPECT_NE(reason.find(listing), std::string::npos) << reason;
  }

  HostSerialLink gone(FixedPorts(PortTable::One("/dev/korvalen-missing")));
  EXPECT_EQ(OpenFailure(gone).rfind("no such port", 0), 0U) << OpenFailure(gone);
}

TEST_F(HostSerialLinkTest, AnotherProgramsLockMakesThePortBusy) {
  const int other = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(OpenFailure(link_).rfind("busy: ", 0), 0U) << OpenFailure(link_);
  ::close(other);
  EXPECT_EQ(OpenFailure(link_), "opened");
}

TEST_F(HostSerialLinkTest, AnotherProgramsExclusiveOpenMakesThePortBusyForRootToo) {
  const int other = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);
  EXPECT_EQ(OpenFailure(link_), "busy: another program has " + pty_.SlavePath() + " open");
  EXPECT_FALSE(link_.PortOpen());
  ::ioctl(other, TIOCNXCL);
  ::close(other);
  EXPECT_EQ(OpenFailure(link_), "opened");
  ExpectReceived({});
  link_.SetOutput(Bytes{1, 2, 3});
  ExpectReceived({1, 2, 3});
}

// Exit codes of the child that tries the port while this process holds it.
constexpr int kChildSawBusy = 0;
constexpr int kChildOpened = 1;
constexpr int kChildOtherFailure = 2;

TEST_F(HostSerialLinkTest, AnotherProcessFindsThePortBusy) {
  Open();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HostSerialLink other(pty_.Table());
    const std::string reason = OpenFailure(other);
    ::_exit(reason == "opened"               ? kChildOpened
            : reason.rfind("busy: ", 0) == 0 ? kChildSawBusy
                                             : kChildOtherFailure);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kChildSawBusy);
  EXPECT_TRUE(link_.PortOpen());
}

TEST_F(HostSerialLinkTest, ClosingReleasesThePortForTheNextOpen) {
  Open();
  link_.SetPortOpen(false);
  HostSerialLink second(pty_.Table());
  EXPECT_EQ(OpenFailure(second), "opened");
}

TEST_F(HostSerialLinkTest, TheDeviceGoingAwayClosesTheLinkOnceAndLeavesItIdle) {
  Open();
  pty_.CloseMaster();
  ASSERT_TRUE(PumpUntil([this] { return lost_ > 0; }, 2s));
  EXPECT_FALSE(link_.PortOpen());
  const double cpu_before = CpuSeconds();
  PumpFor(300ms);
  const double cpu = CpuSeconds() - cpu_before;
  EXPECT_EQ(lost_, 1);
  EXPECT_LT(cpu, 0.05) << "the event loop kept spinning after the hang-up";
  EXPECT_TRUE(events_.empty());
}

TEST_F(HostSerialLinkTest, AFailedWriteThrowsClosesTheLinkAndStillReportsOnceFromTheLoop) {
  Open();
  pty_.CloseMaster();
  EXPECT_THROW(link_.SetOutput(Frame(3)), SerialError);
  EXPECT_FALSE(link_.PortOpen());
  EXPECT_EQ(lost_, 0) << "the handler ran inside SetOutput";
  PumpFor(50ms);
  EXPECT_EQ(lost_, 1);
}

TEST_F(HostSerialLinkTest, DestroyingAnOpenLinkStillDeliversWhatWasWritten) {
  Bytes sent(30'000);
  std::iota(sent.begin(), sent.end(), std::uint8_t{9});
  auto link = std::make_unique<HostSerialLink>(pty_.Table());
  link->SetPortOpen(true);
  link->SetOutput(sent);
  Bytes got;
  std::thread reader([&] { got = pty_.ReadExactly(sent.size(), 3s); });
  link.reset();
  reader.join();
  EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size();
}

TEST_F(HostSerialLinkTest, AClosedLinkRefusesDataOperations) {
  EXPECT_THROW(link_.SetOutput(Frame(1)), SerialError);
  EXPECT_THROW((void)link_.Input(), SerialError);
  EXPECT_THROW(link_.SetInBufferCount(0), SerialError);
  EXPECT_NO_THROW(link_.SetPortOpen(false));
  EXPECT_EQ(pty_.ReadAvailable(), Bytes{});
}

// The pty driver forces CS8 and clears PARENB whatever is asked, so only speed and stop bits
// can be seen here.
TEST_F(HostSerialLinkTest, OtherSpeedsAndStopBitsReachTheLine) {
  struct Case {
    const char* settings;
    speed_t speed;
    bool cstopb;  // 2 stop bits
  };
  const Case cases[] = {
      {"9600,E,7,1", B9600, false},
      {"115200,O,8,2", B115200, true},
      {"300,N,5,2", B300, true},
      {"1200,M,6,1", B1200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    link_.SetSettings(c.settings);
    Open();
    termios line{};
    ASSERT_EQ(::tcgetattr(pty_.SlaveFd(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), c.speed);
    EXPECT_EQ((line.c_cflag & CSTOPB) != 0, c.cstopb);
    link_.SetPortOpen(false);
  }
}

TEST_F(HostSerialLinkTest, MalformedSettingsAreRefusedAndTheLastGoodOnesKept) {
  EXPECT_THROW(link_.SetSettings("19200,N,9,2"), SerialError);
  Open();
  termios line{};
  ASSERT_EQ(::tcgetattr(pty_.SlaveFd(), &line), 0);
  EXPECT_EQ(::cfgetospeed(&line), B19200);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

}  // namespace
}  // namespace korvalen
