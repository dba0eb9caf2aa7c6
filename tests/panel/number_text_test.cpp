#include "panel/number_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reference_number.h"

namespace korvalen::testing {
namespace {

// Every blank, sign, body and exponent put together, against the reference reading; the design's
// own cases (none, letters, halves to the even neighbour, a byte too big) among them.
TEST(NumberText, AgreesWithTheReferenceOverEveryCombination) {
  const std::vector<std::pair<std::string, std::string>> blanks = {
      {"", ""}, {" ", "  "}, {"\t", ""}, {"", "\n"}, {"\xC2\xA0", ""}, {"", std::string(1, '\0')}};
  const std::vector<std::string> signs = {"", "+", "-", "--", "+-"};
  // The last is a FULLWIDTH DIGIT ONE.
  std::vector<std::string> bodies = {
      "0",     "1",       "7",     "007",   "0.5",   "1.5", "2.5",         "3.5",   "0.4999",
      "126.5", "127.5",   "254.5", "255.4", "255.5", "256", "300",         "32767", "32767.5",
      "32768", "32768.5", ".5",    "3.",    ".",     "",    "1..2",        "1.2.3", "1 2",
      "abc",   "5a",      "0x10",  "inf",   "nan",   "1,5", "\xEF\xBC\x91"};
  // Long bodies whose first significant digit sits far from the point: with an exponent pulling
  // the other way, whether the value is too small or too large turns on where that digit is.
  bodies.insert(bodies.end(), {std::string(300, '9'), std::string(400, '9'),
                               "0." + std::string(300, '0') + "1", std::string(300, '0') + "1"});
  const std::vector<std::string> exponents = {"",      "e2",   "E-1",   "e+1",
                                              "e",     "e+",   "e-400", "e400",
                                              "e-330", "e-30", "e-340", "e99999999999999999999",
                                              "x"};
  for (const auto& [before, after] : blanks) {
    for (const std::string& sign : signs) {
      for (const std::string& body : bodies) {
        for (const std::string& exponent : exponents) {
          const std::string text = before + sign + body + exponent + after;
          SCOPED_TRACE(::testing::PrintToString(text.substr(0, 40)));
          const std::optional<double> number = ReferenceNumber(text);
          EXPECT_EQ(IsNumber(text), number.has_value());
          EXPECT_TRUE(Same(ToByte(text), ReferenceWhole<std::uint8_t>(number)));
          EXPECT_TRUE(Same(ToInt16(text), ReferenceWhole<std::int16_t>(number)));
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvalen::testing
