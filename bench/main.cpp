// Runs every benchmark of the panel, each figure beside its floor from the same run, prints one
// table and writes the same figures as JSON. Needs an X display for the start-up and idle rows
// (script/bench runs it under xvfb-run); the in-process rows use the offscreen platform.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <exception>
#include <functional>
#include <iostream>

#include "bench/benchmarks.h"
#include "bench/process.h"

namespace {

using korvalen::bench::Row;

// Runs one part; a part that cannot run still leaves a failed row, so the table never hides it.
void Part(std::vector<Row>& rows, const std::string& name,
          const std::function<std::vector<Row>()>& run) {
  std::cerr << "bench: " << name << "...\n";
  try {
    for (Row& row : run()) rows.push_back(std::move(row));
  } catch (const std::exception& error) {
    rows.emplace_back(name, "", 0).error = error.what();
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // The in-process panel needs no display; programs started from here get the real one.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Korvalen's benchmarks"));
  parser.addHelpOption();
  const auto option = [&](const char* name, const char* what, const char* value,
                          const char* default_value = "") {
    const QCommandLineOption made(QString::fromLatin1(name), QString::fromLatin1(what),
                                  QString::fromLatin1(value), QString::fromLatin1(default_value));
    parser.addOption(made);
    return made;
  };
  const auto out = option("out", "Write the figures as JSON to <file>.", "file", "results.json");
  const auto samples = option("samples", "Samples per latency figure.", "n", "3000");
  const auto only =
      option("only", "Run only these parts: latency,roundtrip,stream,frame,startup,idle.", "parts");
  const auto idle_seconds = option("idle-seconds", "Length of the idle window.", "s", "10");
  const auto starts = option("starts", "Starts of each program for start-up.", "n", "15");
  const auto frames =
      option("frames", "Frames the stream part's soak sends (10000 unless --seconds).", "n");
  const auto seconds =
      option("seconds", "Seconds the soak lasts; with --frames, whichever ends first.", "s");
  parser.process(app);

  const QStringList parts = parser.value(only).split(',', Qt::SkipEmptyParts);
  const auto wanted = [&](const char* part) {
    return parts.isEmpty() || parts.contains(QString::fromLatin1(part));
  };
  korvalen::bench::SoakLimits soak;
  bool whole = true;
  if (parser.isSet(frames)) soak.frames = parser.value(frames).toULongLong(&whole);
  if (whole && parser.isSet(seconds)) {
    soak.duration = std::chrono::seconds(parser.value(seconds).toLongLong(&whole));
  }
  if (!whole || soak.frames == 0U || (soak.duration && soak.duration->count() <= 0)) {
    std::cerr << "bench: --frames and --seconds take a whole number above 0\n";
    return 2;
  }
  if (!soak.frames && !soak.duration) soak.frames = 10'000;

  const std::string out_file = parser.value(out).toStdString();
  const korvalen::bench::Programs programs{KORVALEN_BINARY, KORVALEN_MINIMAL_WINDOW,
                                           out_file + ".log"};
  QFile::remove(QString::fromStdString(programs.log));
  const int sample_count = parser.value(samples).toInt();

  korvalen::bench::Report report;
  report.load_before = korvalen::bench::LoadAverage();
  std::vector<Row>& rows = report.rows;
  if (wanted("latency")) {
    Part(rows, "Command latency",
         [&] { return korvalen::bench::CommandLatencyRows(sample_count); });
  }
  if (wanted("roundtrip")) {
    Part(rows, "Feedback round trip", [&] { return korvalen::bench::RoundTripRows(sample_count); });
  }
  if (wanted("stream")) Part(rows, "Soak", [&] { return korvalen::bench::SoakRows(soak); });
  if (wanted("startup")) {
    Part(rows, "Start-up",
         [&] { return korvalen::bench::StartupRows(programs, parser.value(starts).toInt()); });
  }
  if (wanted("idle")) {
    Part(rows, "Idle",
         [&] { return korvalen::bench::IdleRows(programs, parser.value(idle_seconds).toInt()); });
  }
  if (wanted("frame")) Part(rows, "Frame building", korvalen::bench::FrameRows);
  report.load_after = korvalen::bench::LoadAverage();

  std::cout << korvalen::bench::FormatTable(report) << std::flush;
  QFile json(QString::fromStdString(out_file));
  if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    std::cerr << "bench: cannot write " << out_file << "\n";
    return 2;
  }
  json.write(QByteArray::fromStdString(korvalen::bench::FormatJson(report)));
  return korvalen::bench::AllPassed(report) ? 0 : 1;
}
