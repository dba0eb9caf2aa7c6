#include "panel/traffic_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace korvalen {
namespace {

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
      log.Sent(PositionFrame(id, 1500));
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
        log.Sent(FeedbackFrame());
        log.Flush();
      }
    }
    ASSERT_EQ(reports.size(), 1u) << path;
    EXPECT_NE(reports[0].find(path), std::string::npos) << reports[0];
  }
}

}  // namespace
}  // namespace korvalen
