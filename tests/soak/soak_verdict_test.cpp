#include "tests/soak/soak_verdict.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace korvalen::soak {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::size_t kMiB = std::size_t{1} << 20;

SoakReport Clean() {
  SoakReport report;
  report.sent = report.received = 100000;
  report.rss_after_warmup = 50 * kMiB;
  report.rss_at_end = 50 * kMiB + 4096;
  report.elapsed = std::chrono::seconds(60);
  return report;
}

struct Case {
  const char* name;
  std::function<void(SoakReport&)> spoil;
  bool bound_memory;
  std::vector<const char*> faults;  // a part of each fault, in order
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class VerdictTest : public ::testing::TestWithParam<Case> {};

TEST_P(VerdictTest, NamesEveryFault) {
  const Case& c = GetParam();
  SoakReport report = Clean();
  c.spoil(report);
  const std::vector<std::string> faults = Faults(report, c.bound_memory);
  ASSERT_EQ(faults.size(), c.faults.size()) << Describe(report, c.bound_memory);
  for (std::size_t i = 0; i < faults.size(); ++i) EXPECT_THAT(faults[i], HasSubstr(c.faults[i]));
  const std::string text = Describe(report, c.bound_memory);
  EXPECT_THAT(text, HasSubstr(faults.empty() ? "soak: PASS\n" : "soak: FAIL: "));
}

INSTANTIATE_TEST_SUITE_P(
    Verdict, VerdictTest,
    ::testing::Values(Case{"CleanRunPasses", [](SoakReport&) {}, true, {}},
                      Case{"JustUnderTheMemoryLimit",
                           [](SoakReport& r) { r.rss_at_end = *r.rss_after_warmup + kMiB - 4096; },
                           true,
                           {}},
                      Case{"ShrinkingMemoryPasses",
                           [](SoakReport& r) { r.rss_at_end = *r.rss_after_warmup - 8 * kMiB; },
                           true,
                           {}},
                      Case{"MemoryAtTheLimit",
                           [](SoakReport& r) { r.rss_at_end = *r.rss_after_warmup + kMiB; },
                           true,
                           {"resident memory grew by +1.00 MiB"}},
                      Case{"MemoryNotJudgedWhenUnbound",
                           [](SoakReport& r) { r.rss_at_end = *r.rss_after_warmup + 300 * kMiB; },
                           false,
                           {}},
                      Case{"EndedBeforeWarmup",
                           [](SoakReport& r) { r.rss_after_warmup.reset(); },
                           true,
                           {"the run ended before the warm-up did"}},
                      Case{"WarmupNotNeededWhenUnbound",
                           [](SoakReport& r) { r.rss_after_warmup.reset(); },
                           false,
                           {}},
                      Case{"LostFrames",
                           [](SoakReport& r) {
                             r.received = 99999;
                             r.outstanding = 1;
                           },
                           true,
                           {"1 frames never arrived", "received 99999 frames for 100000 sent"}},
                      Case{"WrongFrame",
                           [](SoakReport& r) {
                             r.mismatched = 1;
                             r.first_mismatch = "frame 7: expected A, got B";
                           },
                           true,
                           {"1 frames were not the ones owed, first frame 7: expected A, got B"}},
                      Case{"DeviceRefusedBytes",
                           [](SoakReport& r) { r.skipped = 3; },
                           true,
                           {"the device refused 0 frames and skipped 3 bytes"}},
                      Case{"RunStoppedEarly",
                           [](SoakReport& r) { r.failure = "the link closed"; },
                           true,
                           {"the link closed"}},
                      Case{"NothingSent",
                           [](SoakReport& r) {
                             r.sent = 0;
                             r.received = 0;
                           },
                           true,
                           {"no frame was sent"}}),
    [](const ::testing::TestParamInfo<Case>& tested) { return tested.param.name; });

TEST(Verdict, DescribesTheFigures) {
  const std::string text = Describe(Clean(), true);
  EXPECT_EQ(text,
            "soak: frames sent 100000, received 100000, mismatched 0, never arrived 0\n"
            "soak: device refused 0 frames, skipped 0 bytes\n"
            "soak: resident memory after warm-up 50.00 MiB, at the end 50.00 MiB, growth "
            "+0.00 MiB (limit 1 MiB)\n"
            "soak: 60.0 s, 1667 frames/s\n"
            "soak: PASS\n");
  EXPECT_THAT(Faults(Clean(), true), IsEmpty());
}

}  // namespace
}  // namespace korvalen::soak
