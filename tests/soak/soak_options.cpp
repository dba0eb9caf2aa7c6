#include "tests/soak/soak_options.h"

#include <algorithm>
#include <charconv>

namespace korvalen::soak {
namespace {

// Plain decimal digits only: a sign, blank or unit in a count is a typing error, not a number.
std::optional<std::uint64_t> Count(std::string_view text) {
  std::uint64_t value = 0;
  const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.front() == '+' || text.front() == '-' || error != std::errc() ||
      rest != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

ParsedOptions Refuse(const std::string& why) {
  return {std::nullopt, why + "\n" + SoakUsage(), false};
}

}  // namespace

std::string SoakUsage() {
  return "usage: korvalen_soak [--frames N] [--seconds S] [--warmup N]\n"
         "  streams slider frames through the window and the serial link to the simulated\n"
         "  device until N frames went or S seconds passed (at least one of the two);\n"
         "  memory is first measured after the warm-up frames (default 2000, at most\n"
         "  half of N)";
}

ParsedOptions ParseSoakOptions(std::span<const std::string_view> args) {
  SoakOptions options;
  bool warmup_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view name = args[i];
    if (name == "--help" || name == "-h") return {std::nullopt, SoakUsage(), true};
    if (name != "--frames" && name != "--seconds" && name != "--warmup") {
      return Refuse("unknown argument: " + std::string(name));
    }
    if (i + 1 == args.size()) return Refuse(std::string(name) + " needs a value");
    const std::string_view text = args[++i];
    const std::optional<std::uint64_t> value = Count(text);
    if (!value || (*value == 0 && name != "--warmup")) {
      return Refuse(std::string(name) + " takes a whole number above 0, not \"" +
                    std::string(text) + "\"");
    }
    if (name == "--frames") {
      options.frames = *value;
    } else if (name == "--seconds") {
      if (*value > static_cast<std::uint64_t>(std::chrono::seconds::max().count())) {
        return Refuse("--seconds " + std::string(text) + " is too long");
      }
      options.duration = std::chrono::seconds(static_cast<std::chrono::seconds::rep>(*value));
    } else {
      options.warmup = *value;
      warmup_given = true;
    }
  }
  if (!options.frames && !options.duration) return Refuse("give --frames, --seconds or both");
  // A short run by frame count still gets a measured half, unless the warm-up was asked for.
  if (options.frames && !warmup_given)
    options.warmup = std::min(options.warmup, *options.frames / 2);
  if (options.frames && options.warmup >= *options.frames) {
    return Refuse("the warm-up must be shorter than the run: --warmup " +
                  std::to_string(options.warmup) + " with --frames " +
                  std::to_string(*options.frames));
  }
  return {options, {}, false};
}

}  // namespace korvalen::soak
