#include "bench/proc_stats.h"

#include "bench/text.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

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
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stoll(line.substr(field.size() + 1));
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int64_t> StatusKiB(pid_t pid, const std::string& field) {
  return Field(ReadAll(Cat("/proc/", pid, "/status")), field);
}

std::optional<ProcessUsage> Usage(pid_t pid) {
  const std::filesystem::path tasks = Cat("/proc/", pid, "/task");
  std::error_code error;
  std::filesystem::directory_iterator entries(tasks, error);
  if (error) return std::nullopt;
  const double tick_ms = 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
  ProcessUsage usage;
  for (const auto& task : entries) {
    const std::string stat = ReadAll(task.path() / "stat");
    // The command name may hold blanks and parentheses; the fields start after the last ')'.
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream fields(stat.substr(end + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    // utime and stime are fields 14 and 15 of stat; the state (field 3) is values[0].
    if (values.size() < 13) continue;
    usage.cpu_ms += static_cast<double>(std::stoll(values[11]) + std::stoll(values[12])) * tick_ms;

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

std::string ThreadNames(pid_t pid) {
  std::map<std::string, int> counts;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(Cat("/proc/", pid, "/task"), error)) {
    std::string name = ReadAll(task.path() / "comm");
    while (!name.empty() && name.back() == '\n') name.pop_back();
    ++counts[name];
  }
  std::string names;
  for (const auto& [name, count] : counts) {
    names += Cat(names.empty() ? "" : ", ", name, count > 1 ? Cat(" x", count) : "");
  }
  return names;
}

std::string LoadAverage() {
  std::string text = ReadAll("/proc/loadavg");
  std::istringstream fields(text);
  std::string one, five, fifteen;
  fields >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace korvalen::bench
