#include "serial/host_serial_link.h"

#include <dlfcn.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <ctime>
#include <future>
#include <memory>
#include <numeric>
#include <thread>

#include "sim/pseudo_terminal.h"

// A transmitter its driver never reports empty, while a test holds it: tcdrain waits till let go.
std::atomic<bool> transmitter_held = false;

extern "C" int tcdrain(int fd) {
  while (transmitter_held) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "tcdrain"))(fd);
}

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{3});
  return bytes;
}

std::string OpenFailure(HostSerialLink& link) {
  try {
    link.SetPortOpen(true);
  } catch (const SerialError& error) {
    return error.what();
  }
  return "opened";
}

class HostSerialLinkTest : public ::testing::Test {
 protected:
  sim::PseudoTerminal pty_;
  HostSerialLink link_{pty_.Table()};
};

TEST_F(HostSerialLinkTest, OpenPutsTheSettingsOnARawLineAndMalformedOnesAreRefused) {
  termios line{};
  ASSERT_EQ(::tcgetattr(pty_.Slave(), &line), 0);
  line.c_lflag |= ICANON | ECHO | ISIG;  // a terminal someone else left cooked
  line.c_oflag |= OPOST;
  ASSERT_EQ(::tcsetattr(pty_.Slave(), TCSANOW, &line), 0);
  link_.SetSettings("19200,N,8,2");
  link_.SetPortOpen(true);
  ASSERT_EQ(::tcgetattr(pty_.Slave(), &line), 0);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0U);
  EXPECT_EQ(line.c_oflag & OPOST, 0U);
  EXPECT_EQ(pty_.SlaveSettings(), "19200,N,8,2");
  link_.SetPortOpen(false);
  // A pseudo-terminal keeps 8 data bits and no parity whatever is asked; speed and stop bits show.
  const std::pair<const char*, const char*> cases[] = {
      {"9600,E,7,1", "9600,N,8,1"}, {"115200,M,6,2", "115200,N,8,2"}, {"1200,O,5,2", "1200,N,8,2"}};
  for (const auto& [settings, seen] : cases) {
    link_.SetSettings(settings);
    EXPECT_THROW(link_.SetSettings("9600,N,9,1"), SerialError) << "and the last good ones stay";
    link_.SetPortOpen(true);
    EXPECT_EQ(pty_.SlaveSettings(), seen);
    link_.SetPortOpen(false);
  }
}

TEST_F(HostSerialLinkTest, ReceiveEventNeedsSevenBytesAfterAClearAndComesOnlyFromTheEventLoop) {
  std::vector<std::int16_t> events;
  link_.SetOnComm([&] { events.push_back(link_.CommEvent()); });
  link_.SetPortOpen(true);
  pty_.Write(Bytes{0xEE, 0xEE, 0xEE});
  QTest::qWait(30);  // now in the link's own buffer
  pty_.Write(Bytes{0xDD, 0xDD});
  std::this_thread::sleep_for(20ms);  // still in the system's queue
  link_.SetInBufferCount(0);
  const Bytes seven = Counting(7);
  for (const std::uint8_t byte : std::span(seven).first(6)) {
    pty_.Write(std::span(&byte, 1));
    QTest::qWait(10);
  }
  EXPECT_TRUE(events.empty()) << "six bytes, or the cleared ones counted";
  pty_.Write(std::span(seven).last(1));
  std::this_thread::sleep_for(20ms);
  link_.SetOutput(seven);
  EXPECT_TRUE(events.empty()) << "raised inside SetOutput";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 5000));
  EXPECT_EQ(events, std::vector<std::int16_t>{2}) << "one event, saying data came";
  EXPECT_EQ(link_.Input(), seven);
}

// More than a pseudo-terminal holds, so most of it waits in the link, past a device that does not
// read yet, until the link closes.
TEST_F(HostSerialLinkTest, OutputLeavesAtOnceInOrderAndAllOfItBeforeACloseOrDestructionEnds) {
  const Bytes sent = Counting(70'000);
  for (const bool destroy : {false, true}) {
    auto link = std::make_unique<HostSerialLink>(pty_.Table());
    link->SetPortOpen(true);
    link->SetOutput(std::span(sent).first(7));
    // No event loop runs here (a read from another thread runs none): bytes left for a later turn
    // of it would never come.
    Bytes first;
    std::thread([&] { first = pty_.Read(7, 5s); }).join();
    EXPECT_EQ(first, Bytes(sent.begin(), sent.begin() + 7));
    for (std::size_t i = 7; i < sent.size(); i += 7) link->SetOutput(std::span(sent).subspan(i, 7));
    QTest::qWait(100);
    EXPECT_TRUE(link->PortOpen());
    Bytes got;
    std::thread reader([&] { got = pty_.Read(sent.size() - 7, 5s); });
    destroy ? link.reset() : link->SetPortOpen(false);
    reader.join();
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin() + 7, sent.end()))
        << got.size() << (destroy ? " destroyed" : " closed");
  }
}

// What the line cannot take yet waits in the link, counted; kEventSend says, from the event loop,
// once, that all of it has gone. The close's bound holds past an empty queue too.
TEST_F(HostSerialLinkTest, HeldBytesAreCountedTillTakenAndACloseNeverWaitsOnTheTransmitter) {
  std::vector<std::int16_t> events;
  link_.SetOnComm([&] { events.push_back(link_.CommEvent()); });
  link_.SetPortOpen(true);
  const Bytes sent = Counting(70'000);
  link_.SetOutput(sent);
  EXPECT_GT(link_.OutBufferCount(), 0U);
  std::thread reader([&] { EXPECT_EQ(pty_.Read(sent.size(), 10s), sent); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 10'000));
  reader.join();
  EXPECT_EQ(events, std::vector<std::int16_t>{SerialLink::kEventSend});
  EXPECT_EQ(link_.OutBufferCount(), 0U);
  transmitter_held = true;
  std::promise<void> closed;
  std::thread watchdog([done = closed.get_future()] {
    EXPECT_EQ(done.wait_for(60s), std::future_status::ready) << "the close waited on tcdrain";
    transmitter_held = false;
  });
  link_.SetPortOpen(false);
  closed.set_value();
  watchdog.join();
}

TEST_F(HostSerialLinkTest, OpenFailureNamesTheMissingPortAndListsTheOthers) {
  const std::string pts = pty_.SlavePath();
  HostSerialLink two(
      FixedPorts(PortTable({{1, {"/dev/korvalen-missing", "", ""}}, {2, {pts, "", ""}}})));
  const std::string listing = "\n1: /dev/korvalen-missing\n2: " + pts;
  EXPECT_EQ(OpenFailure(two), "no such port: /dev/korvalen-missing is not there" + listing);
  two.SetCommPort(0);  // a number, but none that names a port
  EXPECT_EQ(OpenFailure(two), "no such port: 0" + listing);
  EXPECT_FALSE(two.PortOpen());
}

// The call that meets the loss says so at once; the link's own notice still comes, once.
TEST_F(HostSerialLinkTest, AHangUpOrAFailedCallClosesOnceReportsFromTheLoopAndIdles) {
  const std::pair<const char*, void (*)(HostSerialLink&)> calls[] = {
      {"none", nullptr},
      {"write", [](HostSerialLink& link) { link.SetOutput(Counting(7)); }},
      {"clear", [](HostSerialLink& link) { link.SetInBufferCount(0); }}};
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    sim::PseudoTerminal pty;
    HostSerialLink link(pty.Table());
    int lost = 0;
    link.SetOnPortLost([&lost] { ++lost; });
    link.SetPortOpen(true);
    pty.HangUp();
    if (call != nullptr) {
      try {
        call(link);
        ADD_FAILURE() << "the call did not fail";
      } catch (const SerialError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(pty.SlavePath() + " went away: ", 0), 0U)
            << error.what();
      }
      EXPECT_FALSE(link.PortOpen());
      EXPECT_EQ(lost, 0) << "the handler ran inside the call";
    }
    ASSERT_TRUE(QTest::qWaitFor([&lost] { return lost > 0; }, 2000));
    EXPECT_FALSE(link.PortOpen());
    const std::clock_t cpu = std::clock();
    QTest::qWait(300);
    EXPECT_EQ(lost, 1);
    EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC / 20)
        << "the loop kept spinning after the hang-up";
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
