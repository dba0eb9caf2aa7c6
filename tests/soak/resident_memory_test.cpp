#include "tests/soak/resident_memory.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace korvalen::soak {
namespace {

struct Case {
  const char* name;
  std::string status;
  std::optional<std::size_t> bytes;
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class ResidentMemoryTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResidentMemoryTest, ReadsTheVmRssLine) {
  EXPECT_EQ(ParseResidentBytes(GetParam().status), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Status, ResidentMemoryTest,
    ::testing::Values(
        Case{"AmongOtherLines",
             "Name:\tkorvalen_soak\nVmHWM:\t   61440 kB\nVmRSS:\t   51234 kB\nRssAnon:\t 9000 kB\n",
             std::size_t{51234} * 1024},
        Case{"LastLineWithoutNewline", "VmPeak: 1 kB\nVmRSS: 7 kB", std::size_t{7} * 1024},
        Case{"NotThePeakNorTheHighWaterMark", "VmHWM:\t 10 kB\nVmPeak:\t 20 kB\n", std::nullopt},
        Case{"KeyOnlyAtTheStartOfALine", "XVmRSS:\t 10 kB\n", std::nullopt},
        Case{"NoNumber", "VmRSS:\t  kB\n", std::nullopt},
        Case{"OtherUnit", "VmRSS:\t 10 MB\n", std::nullopt},
        Case{"TooBigForBytes", "VmRSS:\t 99999999999999999999 kB\n", std::nullopt},
        Case{"Empty", "", std::nullopt}),
    [](const ::testing::TestParamInfo<Case>& tested) { return tested.param.name; });

TEST(ResidentMemory, ThisProcessHasSome) {
  const std::optional<std::size_t> bytes = ResidentBytes();
  ASSERT_TRUE(bytes.has_value());
  EXPECT_GT(*bytes, 0U);
}

}  // namespace
}  // namespace korvalen::soak
