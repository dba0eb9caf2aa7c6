#include "panel/traffic_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace korvalen {
namespace {

// The frames are `out` only once the link no longer holds them; the last one a close dropped never
// went; the line's errors and the window's close are said; the start names its clock's offset.
TEST(TrafficLog, SaysWhatTheSystemTookWhatItNeverTookAndWhatTheLineAndTheWindowDid) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("traffic.log");
  testing::RecordingView view;
  testing::RecordingLink link;
  Panel panel(view, link);
  {
    TrafficLog log(
        path,
        [] {
          return PortEntry{"/dev/ttyUSB0", "FT232R USB UART", "A1B2C3"};
        },
        [](const std::string& report) { ADD_FAILURE() << report; });
    panel.SetObserver(&log);
    panel.Command1_Click();
    panel.Command3_Click();
    link.held = 3;
    panel.Command4_Click();
    link.Receive({}, SerialLink::kEventFrame);
    link.Receive({}, SerialLink::kEventSend);
    link.held = 7;
    panel.HScroll2_Change();
    link.held = 14;
    panel.Command4_Click();
    link.held = 7;  // what the close dropped
    panel.WindowClosed();
    panel.SetObserver(nullptr);
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  for (QString& line : lines) line = line.section(' ', 1);  // without the time
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(QRegularExpression(R"(^-- \S+ \S* started \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})"
                                 R"(([+-]\d\d:\d\d|Z)$)")
                  .match(lines.takeFirst())
                  .hasMatch());
  EXPECT_EQ(lines, QStringList({
                       "-- connect port 1 /dev/ttyUSB0 19200,N,8,2 (FT232R USB UART, serial "
                       "number A1B2C3)",
                       "out 80 E8 00 00 98 00 00  feedback request",
                       "-- line error: framing (a wrong baud rate or line settings?)",
                       "out 80 EB 00 00 95 00 00  stop",
                       "out 80 00 05 DC 9F 00 00  position id 0 1500",
                       "-- unsent 80 EB 00 01 94 00 00  run (the port closed before the system "
                       "took it)",
                       "-- window closed: port released, no shutdown frame sent",
                   }));
}

TEST(TrafficLog, AFullFileBecomesFileDotOneInPlaceOfTheOlderOneAndANewFileStarts) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("traffic.log");
  constexpr qint64 kLimit = 400;  // seven lines or so
  // Two runs before this one: the older log, and a nearly full one this run appends to.
  for (const auto& [name, size] : {std::pair(path + ".1", 20), std::pair(path, 360)}) {
    QFile earlier(name);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) &&
                earlier.write(QByteArray("from an earlier run\n").leftJustified(size, '.')) > 0);
  }
  {
    TrafficLog log(
        path, {}, [](const std::string& report) { ADD_FAILURE() << report; }, kLimit);
    for (int id = 0; id < 10; ++id) {
      log.Sent(PositionFrame(id, 1500), 0);
      EXPECT_TRUE(id > 0 || QFileInfo(path).size() == 360) << "written later, never in the event";
      log.Flush();
    }
  }
  EXPECT_LE(QFileInfo(path).size(), kLimit);
  EXPECT_LE(QFileInfo(path + ".1").size(), kLimit);
  // The earlier run's lines count toward the limit; no line of this run is lost to a renaming.
  QFile first(path + ".1");
  QFile second(path);
  ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
  QString ids;
  const QRegularExpression line("(earlier run|position id \\d+)");
  for (const auto& match : line.globalMatch(first.readAll() + second.readAll())) {
    ids += match.captured(1).back();
  }
  EXPECT_EQ(ids, "0123456789");
}

TEST(TrafficLog, AFileThatCannotBeOpenedOrWrittenIsReportedOnce) {
  for (const char* path : {"/no-such-folder/traffic.log", "/dev/full"}) {
    std::vector<std::string> reports;
    {
      TrafficLog log(path, {}, [&](const std::string& report) { reports.push_back(report); });
      for (int i = 0; i < 3; ++i) {
        log.Sent(FeedbackFrame(), 0);
        log.Flush();
      }
    }
    ASSERT_EQ(reports.size(), 1u) << path;
    EXPECT_NE(reports[0].find(path), std::string::npos) << reports[0];
  }
}

#ifdef Q_OS_UNIX
// Renaming what the path names would move a link in place of its target or, as root, a device node
// or a pipe; only a regular file is renamed, the rest is written through.
TEST(TrafficLog, AFullLogThatIsNoRegularFileIsWrittenThroughAndNeverRenamed) {
  const QTemporaryDir dir;
  const QByteArray path = QFile::encodeName(dir.filePath("traffic.log"));
  const QByteArray target = QFile::encodeName(dir.filePath("target"));
  // The node is made here where /dev/null is, so a fault renames nothing of the system's.
  for (const mode_t type : {S_IFLNK, S_IFIFO, S_IFCHR}) {
    ::unlink(path);
    ASSERT_EQ(type == S_IFLNK ? ::symlink(target, path) : ::mknod(path, type | 0600, makedev(1, 3)),
              0);
    const int reader = ::open(path, O_RDONLY | O_NONBLOCK);  // a pipe opens only with one
    {
      TrafficLog log(
          QFile::decodeName(path), {}, [](const std::string& report) { ADD_FAILURE() << report; },
          100);
      for (int id = 0; id < 10; ++id, log.Flush()) log.Sent(PositionFrame(id, 1500), 0);
    }
    struct stat status {};
    EXPECT_TRUE(::lstat(path, &status) == 0 && (status.st_mode & S_IFMT) == type) << type;
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(path + ".1"))) << type;
    ::close(reader);
  }
  QFile through_link(QFile::decodeName(target));
  ASSERT_TRUE(through_link.open(QIODevice::ReadOnly));
  EXPECT_EQ(through_link.readAll().count("position id"), 10);
}
#endif

}  // namespace
}  // namespace korvalen
