#include "serial/line_settings.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "serial/serial_link.h"

namespace korvalen {
namespace {

constexpr int kMinBaud = 50;
constexpr int kMaxBaud = 4'000'000;

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) {
      return fields;
    }
    start = comma + 1;
  }
}

[[noreturn]] void Fail(const std::string& text, const std::string& why) {
  throw SerialError("settings \"" + text + "\": " + why);
}

int ParseWhole(std::string_view field, bool& ok) {
  int value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  ok = !field.empty() && error == std::errc{} && end == field.data() + field.size();
  return value;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() != 4) {
    Fail(text, "expected baud,parity,data bits,stop bits such as 19200,N,8,2");
  }
  LineSettings settings;

  bool ok = false;
  settings.baud = ParseWhole(fields[0], ok);
  if (!ok || settings.baud < kMinBaud || settings.baud > kMaxBaud) {
    Fail(text, "baud must be a whole number from 50 to 4000000");
  }

  // In the order of Parity's values.
  constexpr std::string_view kParityLetters = "NEOMS";
  const std::size_t parity = fields[1].size() == 1
                                 ? kParityLetters.find(static_cast<char>(
                                       std::toupper(static_cast<unsigned char>(fields[1][0]))))
                                 : std::string_view::npos;
  if (parity == std::string_view::npos) {
    Fail(text, "parity must be one of N, E, O, M, S");
  }
  settings.parity = static_cast<Parity>(parity);

  settings.data_bits = ParseWhole(fields[2], ok);
  if (!ok || settings.data_bits < 5 || settings.data_bits > 8) {
    Fail(text, "data bits must be 5, 6, 7 or 8");
  }

  if (fields[3] == "1") {
    settings.stop_bits = StopBits::kOne;
  } else if (fields[3] == "2") {
    settings.stop_bits = StopBits::kTwo;
  } else {
    Fail(text, "stop bits must be 1 or 2");
  }
  return settings;
}

}  // namespace korvalen
