#include "tests/soak/soak_options.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace korvalen::soak {
namespace {

using namespace std::chrono_literals;

struct Accepted {
  const char* name;
  std::vector<std::string_view> args;
  std::optional<std::uint64_t> frames;
  std::optional<std::chrono::seconds> duration;
  std::uint64_t warmup;
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const Accepted& c, std::ostream* out) {
  *out << c.name;
}

class AcceptedOptionsTest : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedOptionsTest, GiveTheRunItsLimits) {
  const Accepted& c = GetParam();
  const ParsedOptions parsed = ParseSoakOptions(c.args);
  ASSERT_TRUE(parsed.options.has_value()) << parsed.message;
  EXPECT_EQ(parsed.options->frames, c.frames);
  EXPECT_EQ(parsed.options->duration, c.duration);
  EXPECT_EQ(parsed.options->warmup, c.warmup);
}

INSTANTIATE_TEST_SUITE_P(
    Options, AcceptedOptionsTest,
    ::testing::Values(
        Accepted{"FramesOnly", {"--frames", "100000"}, 100000, std::nullopt, 2000},
        Accepted{"SecondsOnly", {"--seconds", "10"}, std::nullopt, 10s, 2000},
        Accepted{"Both", {"--seconds", "600", "--frames", "5000"}, 5000, 600s, 2000},
        Accepted{"WarmupChanged", {"--frames", "5", "--warmup", "4"}, 5, std::nullopt, 4},
        Accepted{"NoWarmup", {"--seconds", "1", "--warmup", "0"}, std::nullopt, 1s, 0},
        Accepted{"LastOneCounts", {"--frames", "9", "--frames", "7"}, 7, std::nullopt, 3},
        Accepted{"ShortRunHalfWarmup", {"--frames", "1000"}, 1000, std::nullopt, 500},
        Accepted{"SingleFrameNoWarmup", {"--frames", "1"}, 1, std::nullopt, 0}),
    [](const ::testing::TestParamInfo<Accepted>& tested) { return tested.param.name; });

struct Refused {
  const char* name;
  std::vector<std::string_view> args;
  const char* reason;  // the first line of the message
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const Refused& c, std::ostream* out) {
  *out << c.name;
}

class RefusedOptionsTest : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedOptionsTest, SayWhyAndHowToCallIt) {
  const Refused& c = GetParam();
  const ParsedOptions parsed = ParseSoakOptions(c.args);
  EXPECT_FALSE(parsed.options.has_value());
  EXPECT_FALSE(parsed.help);
  EXPECT_EQ(parsed.message, std::string(c.reason) + "\n" + SoakUsage());
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedOptionsTest,
    ::testing::Values(
        Refused{"NoLimit", {}, "give --frames, --seconds or both"},
        Refused{"OnlyWarmup", {"--warmup", "10"}, "give --frames, --seconds or both"},
        Refused{"MissingValue", {"--frames"}, "--frames needs a value"},
        Refused{"Zero", {"--seconds", "0"}, "--seconds takes a whole number above 0, not \"0\""},
        Refused{
            "Negative", {"--frames", "-5"}, "--frames takes a whole number above 0, not \"-5\""},
        Refused{"Plus", {"--frames", "+5"}, "--frames takes a whole number above 0, not \"+5\""},
        Refused{"Blank", {"--frames", " 5"}, "--frames takes a whole number above 0, not \" 5\""},
        Refused{
            "Unit", {"--seconds", "10s"}, "--seconds takes a whole number above 0, not \"10s\""},
        Refused{
            "Exponent", {"--frames", "1e5"}, "--frames takes a whole number above 0, not \"1e5\""},
        Refused{"Empty", {"--frames", ""}, "--frames takes a whole number above 0, not \"\""},
        Refused{"Overflow",
                {"--frames", "18446744073709551616"},
                "--frames takes a whole number above 0, not \"18446744073709551616\""},
        Refused{"WarmupAsLongAsRun",
                {"--frames", "100", "--warmup", "100"},
                "the warm-up must be shorter than the run: --warmup 100 with --frames 100"},
        Refused{"Unknown", {"--frame", "100"}, "unknown argument: --frame"},
        Refused{"Positional", {"100000"}, "unknown argument: 100000"}),
    [](const ::testing::TestParamInfo<Refused>& tested) { return tested.param.name; });

TEST(Options, HelpIsNotAnError) {
  const std::vector<std::string_view> args = {"--frames", "10", "--help"};
  const ParsedOptions parsed = ParseSoakOptions(args);
  EXPECT_FALSE(parsed.options.has_value());
  EXPECT_TRUE(parsed.help);
  EXPECT_EQ(parsed.message, SoakUsage());
}

}  // namespace
}  // namespace korvalen::soak
