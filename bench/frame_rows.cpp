#include "bench/frame_rows.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <stdexcept>

#include "bench/child_process.h"
#include "bench/text.h"

namespace korvalen::bench {

std::vector<Row> FrameRows(const std::string& program, const std::string& json_file,
                           const std::string& log) {
  {
    ChildProcess run({program, "--benchmark_out=" + json_file, "--benchmark_out_format=json",
                      "--benchmark_min_time=0.2"},
                     {}, log);
    if (!run.Wait(std::chrono::seconds(60))) throw std::runtime_error("frame benchmark hung");
  }
  QFile file(QString::fromStdString(json_file));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("frame benchmark wrote nothing");
  const QJsonArray benchmarks = QJsonDocument::fromJson(file.readAll())["benchmarks"].toArray();
  std::vector<Row> rows;
  for (const QJsonValue& entry : benchmarks) {
    const QJsonObject benchmark = entry.toObject();
    std::string name = benchmark["name"].toString().toStdString();
    if (name.rfind("BM_", 0) == 0) name = name.substr(3);
    Row row(Cat("Frame building: ", name, " per call"),
            benchmark["time_unit"].toString().toStdString(), benchmark["real_time"].toDouble());
    row.target = "for scale";
    row.detail = Cat("Google Benchmark, ", benchmark["iterations"].toInteger(), " iterations");
    rows.push_back(row);
  }
  if (rows.empty()) throw std::runtime_error("frame benchmark reported no figures");
  return rows;
}

}  // namespace korvalen::bench
