#include "bench/process.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bench/report.h"

namespace korvalen::bench {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<std::int64_t> Field(const std::string& status, const std::string& field) {
  std::istringstream lines(status);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stoll(line.substr(field.size() + 1));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int64_t> StatusKiB(pid_t pid, const std::string& field) {
  return Field(ReadAll(Cat("/proc/", pid, "/status")), field);
}

std::optional<ProcessUsage> Usage(pid_t pid) {
  std::error_code error;
  ProcessUsage usage;
  for (const auto& task : std::filesystem::directory_iterator(Cat("/proc/", pid, "/task"), error)) {
    std::istringstream schedstat(ReadAll(task.path() / "schedstat"));
    std::int64_t run_ns = 0;
    if (schedstat >> run_ns) usage.run_ms += static_cast<double>(run_ns) / 1e6;
    const std::string status = ReadAll(task.path() / "status");
    usage.switches += Field(status, "voluntary_ctxt_switches").value_or(0) +
                      Field(status, "nonvoluntary_ctxt_switches").value_or(0);
    ++usage.threads;
  }
  if (usage.threads == 0) return std::nullopt;
  return usage;
}

std::string LoadAverage() {
  std::istringstream fields(ReadAll("/proc/loadavg"));
  std::string one, five, fifteen;
  fields >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

void KillProcess::operator()(QProcess* process) const {
  process->kill();
  process->waitForFinished();
  std::default_delete<QProcess>()(process);
}

Child StartOnX(const std::string& program, const QStringList& arguments, const std::string& log) {
  Child process(std::make_unique<QProcess>().release());
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  process->setProcessEnvironment(environment);
  process->setProcessChannelMode(QProcess::MergedChannels);
  process->setStandardOutputFile(QString::fromStdString(log), QIODevice::Append);
  process->start(QString::fromStdString(program), arguments);
  if (!process->waitForStarted()) throw std::runtime_error("cannot start " + program);
  return process;
}

}  // namespace korvalen::bench
