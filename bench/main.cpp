// Runs every benchmark of the panel, each figure beside its floor from the same run, prints one
// table and writes the same figures as JSON. Needs an X display for the start-up and idle rows
// (script/bench runs it under xvfb-run); the in-process rows use the offscreen platform.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <set>

#include "app/start.h"
#include "bench/frame_rows.h"
#include "bench/proc_stats.h"
#include "bench/process_bench.h"
#include "bench/report.h"
#include "bench/stream_bench.h"
#include "bench/wire_bench.h"

namespace {

using korvalen::bench::Row;

// Runs one part; a part that cannot run still leaves a failed row, so the table never hides it.
void Part(std::vector<Row>& rows, const std::string& name,
          const std::function<std::vector<Row>()>& run) {
  std::cerr << "bench: " << name << "...\n";
  try {
    for (Row& row : run()) rows.push_back(std::move(row));
  } catch (const std::exception& error) {
    Row failed(name, "");
    failed.error = error.what();
    rows.push_back(failed);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // The in-process panel needs no display; programs started from here get the real one.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The event loop the program runs on, for the panel measured here and every program started.
  korvalen::ChooseEventLoop();
  QApplication app(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Korvalen's benchmarks"));
  parser.addHelpOption();
  const QCommandLineOption out({QStringLiteral("o"), QStringLiteral("out")},
                               QStringLiteral("Write the figures as JSON to <file>."),
                               QStringLiteral("file"), QStringLiteral("results.json"));
  const QCommandLineOption samples(QStringLiteral("samples"),
                                   QStringLiteral("Samples per latency figure."),
                                   QStringLiteral("n"), QStringLiteral("3000"));
  const QCommandLineOption only(
      QStringLiteral("only"),
      QStringLiteral("Run only these parts: latency,roundtrip,stream,frame,startup,idle."),
      QStringLiteral("parts"));
  const QCommandLineOption idle_seconds(QStringLiteral("idle-seconds"),
                                        QStringLiteral("Length of each idle window."),
                                        QStringLiteral("s"), QStringLiteral("10"));
  const QCommandLineOption starts(QStringLiteral("starts"),
                                  QStringLiteral("Starts of each program for start-up."),
                                  QStringLiteral("n"), QStringLiteral("7"));
  const QCommandLineOption frames(
      QStringLiteral("frames"),
      QStringLiteral("Soak the stream part instead (with --only stream): drag the sliders by "
                     "mouse until <n> frames went, checking every one and resident memory."),
      QStringLiteral("n"));
  const QCommandLineOption seconds(
      QStringLiteral("seconds"),
      QStringLiteral(
          "Soak as --frames does, for <s> seconds; with --frames, whichever ends first."),
      QStringLiteral("s"));
  parser.addOptions({out, samples, only, idle_seconds, starts, frames, seconds});
  parser.process(app);

  std::set<std::string> parts;
  for (const QString& part : parser.value(only).split(',', Qt::SkipEmptyParts)) {
    parts.insert(part.toStdString());
  }
  if (parser.isSet(frames) || parser.isSet(seconds)) {
    const auto count = [&](const QCommandLineOption& option) -> std::optional<std::uint64_t> {
      if (!parser.isSet(option)) return std::nullopt;
      bool whole = false;
      const qulonglong value = parser.value(option).toULongLong(&whole);
      if (!whole || value == 0) {
        std::cerr << "bench: --" << option.names().front().toStdString()
                  << " takes a whole number above 0\n";
        std::exit(2);
      }
      return value;
    };
    if (parts != std::set<std::string>{"stream"}) {
      std::cerr << "bench: --frames and --seconds soak the stream part; give them with --only "
                   "stream\n";
      return 2;
    }
    korvalen::bench::SoakLimits limits;
    limits.frames = count(frames);
    if (const std::optional<std::uint64_t> span = count(seconds)) {
      limits.duration = std::chrono::seconds(static_cast<std::chrono::seconds::rep>(*span));
    }
    const korvalen::bench::SoakVerdict verdict = korvalen::bench::Soak(limits);
    std::cout << verdict.line << std::endl;
    return verdict.passed ? 0 : 1;
  }
  const auto wanted = [&](const std::string& part) {
    return parts.empty() || parts.contains(part);
  };
  const std::string out_file = parser.value(out).toStdString();
  const korvalen::bench::Programs programs{KORVALEN_BINARY, KORVALEN_MINIMAL_WINDOW,
                                           out_file + ".log"};
  std::remove(programs.log.c_str());
  const int sample_count = parser.value(samples).toInt();

  korvalen::bench::Report report;
  report.load_before = korvalen::bench::LoadAverage();
  std::vector<Row>& rows = report.rows;
  if (wanted("latency")) {
    Part(rows, "Command latency",
         [&] { return korvalen::bench::CommandLatencyRows(sample_count); });
    Part(rows, "Command latency, log on",
         [&] { return korvalen::bench::LoggedCommandLatencyRows(sample_count); });
  }
  if (wanted("roundtrip")) {
    Part(rows, "Feedback round trip", [&] { return korvalen::bench::RoundTripRows(sample_count); });
  }
  if (wanted("stream")) {
    Part(rows, "Streaming", [] { return korvalen::bench::StreamingRows(10'000); });
  }
  if (wanted("startup")) {
    Part(rows, "Start-up",
         [&] { return korvalen::bench::StartupRows(programs, parser.value(starts).toInt()); });
  }
  if (wanted("idle")) {
    Part(rows, "Idle",
         [&] { return korvalen::bench::IdleRows(programs, parser.value(idle_seconds).toInt()); });
  }
  if (wanted("frame")) {
    Part(rows, "Frame building", [&] {
      return korvalen::bench::FrameRows(KORVALEN_FRAME_BENCH, out_file + ".frame.json",
                                        programs.log);
    });
  }
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
