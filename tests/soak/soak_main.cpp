#include <QApplication>
#include <cstdio>
#include <string_view>
#include <vector>

#include "tests/soak/slider_soak.h"
#include "tests/soak/soak_options.h"
#include "tests/soak/soak_verdict.h"

namespace {

// AddressSanitizer holds 256 MiB of freed blocks in quarantine, red zones and all, so that late
// uses are caught; resident memory then grows by hundreds of MiB with the traffic whether or not
// anything leaks. Under it the soak still checks every frame, LeakSanitizer still checks for leaks
// at exit, and the quarantine stays on for the use-after-free checks; the memory bound is judged
// in the builds without it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBoundMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kBoundMemory = false;
#else
constexpr bool kBoundMemory = true;
#endif
#else
constexpr bool kBoundMemory = true;
#endif

}  // namespace

int main(int argc, char* argv[]) {
  // The soak needs no screen; offscreen keeps it runnable over ssh and in CI.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const korvalen::soak::ParsedOptions parsed = korvalen::soak::ParseSoakOptions(args);
  if (!parsed.options) {
    std::fprintf(parsed.help ? stdout : stderr, "%s\n", parsed.message.c_str());
    return parsed.help ? 0 : 2;
  }

  const korvalen::soak::SoakReport report = korvalen::soak::RunSliderSoak(*parsed.options);
  std::fputs(korvalen::soak::Describe(report, kBoundMemory).c_str(), stdout);
  return korvalen::soak::Faults(report, kBoundMemory).empty() ? 0 : 1;
}
