#include "app/traffic_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace korvalen {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reception = PanelObserver::Reception;

QStringList Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

struct Reports {
  TrafficLog::Report Reporter() {
    return [this](const std::string& report) { all.push_back(report); };
  }
  std::vector<std::string> all;
};

TEST(TrafficLog, ALinePerEventInOrderWrittenFromTheEventLoopNeverInsideTheEvent) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("traffic.log");
  Reports reports;
  TrafficLog log(
      path, [] { return std::string("/dev/pts/9"); }, reports.Reporter());
  const Bytes reply = {0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C};
  Bytes stray = reply;
  stray.push_back(0x55);
  const Bytes noise(100, 0x55);
  // Each event and its line after the time.
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { log.Connected(1, "19200,N,8,2", false); },
       "--  connect port 1 /dev/pts/9 19200,N,8,2"},
      {[&] { log.Sent(PositionFrame(0, 1500)); }, "out 80 00 05 DC 9F 00 00  position id 0 1500"},
      {[&] { log.Sent(SpeedFrame(3, 1)); }, "out 80 E9 03 01 93 00 00  speed id 3 1"},
      {[&] { log.Sent(FeedbackFrame()); }, "out 80 E8 00 00 98 00 00  feedback request"},
      {[&] { log.Sent(RunStopFrame(true)); }, "out 80 EB 00 01 94 00 00  run"},
      {[&] { log.Sent(RunStopFrame(false)); }, "out 80 EB 00 00 95 00 00  stop"},
      {[&] { log.Received(reply, Reception::kShown); },
       "in  80 00 00 00 80 2A 0C  reply current 42 voltage 12 (shown)"},
      {[&] { log.Received(reply, Reception::kNoFeedbackPending); },
       "in  80 00 00 00 80 2A 0C  reply current 42 voltage 12 (dropped: no feedback request "
       "pending)"},
      {[&] { log.Received(stray, Reception::kNotAReply); },
       "in  8 bytes 80 00 00 00 80 2A 0C 55  not a reply (dropped)"},
      {[&] { log.Received(noise, Reception::kNotAReply); },
       "in  100 bytes 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 ...  not a reply (dropped)"},
      {[&] { log.Refused("200", "The ID must be a number from 0 to 127; nothing was sent."); },
       "--  refused: ID \"200\": The ID must be a number from 0 to 127; nothing was sent."},
      {[&] { log.Lost("/dev/pts/9 went away: Input/output error"); },
       "--  port lost: /dev/pts/9 went away: Input/output error"},
      {[&] { log.ConnectError("no such port: 4\n1: /dev/pts/9"); },
       "--  connect error: no such port: 4; 1: /dev/pts/9"},
      {[&] { log.Connected(1, "19200,N,8,2", true); },
       "--  reconnect port 1 /dev/pts/9 19200,N,8,2 (the device came back)"},
      {[&] { log.Sent(ShutdownFrame()); }, "out 80 EF 00 00 91 00 00  shutdown"},
      {[&] { log.Disconnected(); }, "--  disconnect"},
  };
  for (const auto& [event, line] : cases) event();
  EXPECT_EQ(QFileInfo(path).size(), 0) << "a frame never waits for the disk";

  ASSERT_TRUE(QTest::qWaitFor([&] { return Lines(path).size() == std::size(cases) + 1; }, 2000))
      << Lines(path).join(u'\n').toStdString();
  const QStringList lines = Lines(path);
  EXPECT_THAT(lines[0].toStdString(), testing::HasSubstr(" started "));
  const QRegularExpression stamped(QStringLiteral("^(\\d+\\.\\d{3}) (.*)$"));
  double before = 0;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const QRegularExpressionMatch match = stamped.match(lines[static_cast<qsizetype>(i + 1)]);
    ASSERT_TRUE(match.hasMatch()) << lines[static_cast<qsizetype>(i + 1)].toStdString();
    EXPECT_EQ(match.captured(2).toStdString(), cases[i].second);
    EXPECT_GE(match.captured(1).toDouble(), before);
    before = match.captured(1).toDouble();
  }
  EXPECT_TRUE(reports.all.empty());
}

TEST(TrafficLog, AFullFileBecomesFileDotOneInPlaceOfTheOlderOneAndANewFileStarts) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("traffic.log");
  QFile older(path + ".1");
  ASSERT_TRUE(older.open(QIODevice::WriteOnly));
  older.write("from an earlier run\n");
  older.close();
  constexpr qint64 kLimit = 400;  // seven or so lines
  Reports reports;
  {
    TrafficLog log(path, {}, reports.Reporter(), kLimit);
    for (int id = 0; id < 10; ++id) {
      log.Sent(PositionFrame(id, 1500));
      log.Flush();
    }
  }
  EXPECT_LE(QFileInfo(path).size(), kLimit);
  EXPECT_LE(QFileInfo(path + ".1").size(), kLimit);
  // Every frame, in order, across the two files: one renaming, and nothing lost to it.
  const QString both = (Lines(path + ".1") + Lines(path)).join(u'\n');
  EXPECT_FALSE(both.contains(QStringLiteral("earlier run")));
  QStringList ids;
  for (const QRegularExpressionMatch& match :
       QRegularExpression(QStringLiteral("position id (\\d+)")).globalMatch(both)) {
    ids += match.captured(1);
  }
  EXPECT_EQ(ids.join(u' '), QStringLiteral("0 1 2 3 4 5 6 7 8 9"));
  EXPECT_FALSE(Lines(path).isEmpty());
  EXPECT_TRUE(reports.all.empty());
}

TEST(TrafficLog, AFileThatCannotBeOpenedOrWrittenIsReportedOnce) {
  for (const char* path : {"/no-such-folder/traffic.log", "/dev/full"}) {
    SCOPED_TRACE(path);
    Reports reports;
    {
      TrafficLog log(QString::fromLatin1(path), {}, reports.Reporter());
      for (int i = 0; i < 3; ++i) {
        log.Sent(FeedbackFrame());
        log.Flush();
      }
    }
    ASSERT_EQ(reports.all.size(), 1u);
    EXPECT_THAT(reports.all[0], testing::HasSubstr(path));
  }
}

}  // namespace
}  // namespace korvalen
