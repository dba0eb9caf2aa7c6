#include "app/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <utility>

namespace korvalen {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return lower;
}

std::optional<bool> Truth(std::string_view value) {
  constexpr std::array<std::string_view, 4> kTrue = {"true", "yes", "on", "1"};
  constexpr std::array<std::string_view, 4> kFalse = {"false", "no", "off", "0"};
  const std::string word = Lower(value);
  if (std::find(kTrue.begin(), kTrue.end(), word) != kTrue.end()) return true;
  if (std::find(kFalse.begin(), kFalse.end(), word) != kFalse.end()) return false;
  return std::nullopt;
}

std::optional<int> PortNumber(std::string_view key) {
  int number = 0;
  const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
  if (key.empty() || error != std::errc{} || end != key.data() + key.size() || number < 1 ||
      number > 255) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

QString SettingsPath() {
#ifdef Q_OS_WIN
  QString base = qEnvironmentVariable("APPDATA");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/AppData/Roaming");
  return QDir::toNativeSeparators(base + QStringLiteral("/korvalen/korvalen.conf"));
#else
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/korvalen/korvalen.conf");
#endif
}

QString SettingsHelp() {
  return QStringLiteral(
             "\nSettings file for this user, read at start if it is there (never written):\n"
             "  %1\n"
             "It may say what the options say, a line each; an option given wins:\n"
             "  log=FILE\n"
             "  reconnect=true\n"
             "  [ports]\n"
             "  N=PATH\n"
             "An entry that cannot be used is reported and ignored.\n")
      .arg(SettingsPath());
}

Settings ParseSettings(std::string_view text, const std::string& path) {
  Settings settings;
  enum class Section { kTop, kPorts, kUnknown } section = Section::kTop;
  bool log_seen = false;
  bool reconnect_seen = false;
  int line_number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++line_number;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const auto ignore = [&](const std::string& why) {
      settings.problems.push_back(path + " line " + std::to_string(line_number) + ": " +
                                  std::string(line) + ": " + why + "; ignored");
    };
    if (line.front() == '[' && line.back() == ']') {
      const std::string name = Lower(Trimmed(line.substr(1, line.size() - 2)));
      section = name == "ports" ? Section::kPorts : Section::kUnknown;
      if (section == Section::kUnknown)
        ignore("unknown section (there is only [ports]), with its entries");
      continue;
    }
    if (section == Section::kUnknown) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      ignore("expected KEY=VALUE");
      continue;
    }
    const std::string_view key = Trimmed(line.substr(0, equals));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    if (section == Section::kPorts) {
      const std::optional<int> number = PortNumber(key);
      if (!number) {
        ignore("the port number must be a whole number from 1 to 255");
      } else if (value.empty()) {
        ignore("the device path is empty");
      } else if (!settings.ports.try_emplace(*number, value).second) {
        ignore("port " + std::to_string(*number) + " is named above already");
      }
    } else if (key == "log") {
      if (value.empty()) {
        ignore("log needs a file name, or - for standard error");
      } else if (std::exchange(log_seen, true)) {
        ignore("log is given above already");
      } else {
        settings.log = value;
      }
    } else if (key == "reconnect") {
      const std::optional<bool> on = Truth(value);
      if (!on) {
        ignore("reconnect is true or false");
      } else if (std::exchange(reconnect_seen, true)) {
        ignore("reconnect is given above already");
      } else {
        settings.reconnect = *on;
      }
    } else {
      ignore("unknown key (known: log, reconnect, and N=PATH under [ports])");
    }
  }
  return settings;
}

Settings ReadSettings(const QString& path) {
  QFile file(path);
  if (!file.exists()) return {};
  if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
    Settings unread;
    unread.problems.push_back(
        path.toStdString() + ": cannot read it (" +
        (QFileInfo(path).isDir() ? std::string("a folder") : file.errorString().toStdString()) +
        "); its settings are ignored");
    return unread;
  }
  const QByteArray text = file.readAll();
  return ParseSettings(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                       path.toStdString());
}

void ApplySettings(Settings settings, CommandLine& line) {
  if (line.log.empty()) line.log = std::move(settings.log);
  line.reconnect = line.reconnect || settings.reconnect;
  // A number the command line names is the command line's; insert keeps it.
  line.ports.merge(settings.ports);
  line.problems = std::move(settings.problems);
}

}  // namespace korvalen
