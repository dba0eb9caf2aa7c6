#include "panel/number_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korvalen {
namespace {

constexpr NumberStatus kOk = NumberStatus::kOk;
constexpr NumberStatus kNaN = NumberStatus::kNotANumber;
constexpr NumberStatus kRange = NumberStatus::kOutOfRange;

struct TextCase {
  std::string text;
  NumberStatus as_byte;
  int byte_value;  // meaningful when as_byte is kOk
  NumberStatus as_int16;
  int int16_value;  // meaningful when as_int16 is kOk
};

// One row per text an operator might type: whether it is a number, and what the port (byte) and
// ID (16-bit) conversions make of it.
const std::vector<TextCase>& Cases() {
  static const std::vector<TextCase> cases = {
      {"0", kOk, 0, kOk, 0},
      {"1", kOk, 1, kOk, 1},
      {"255", kOk, 255, kOk, 255},
      {"256", kRange, 0, kOk, 256},
      {"300", kRange, 0, kOk, 300},
      {"-1", kRange, 0, kOk, -1},
      {"+7", kOk, 7, kOk, 7},
      {"007", kOk, 7, kOk, 7},
      {"  12  ", kOk, 12, kOk, 12},
      {"\t3\t", kOk, 3, kOk, 3},
      {"2.5", kOk, 2, kOk, 2},
      {"3.5", kOk, 4, kOk, 4},
      {"-0.5", kOk, 0, kOk, 0},
      {"-1.5", kRange, 0, kOk, -2},
      {"0.4999", kOk, 0, kOk, 0},
      {"0.5", kOk, 0, kOk, 0},
      {"1.5", kOk, 2, kOk, 2},
      {"254.5", kOk, 254, kOk, 254},
      {"255.4", kOk, 255, kOk, 255},
      {"255.5", kRange, 0, kOk, 256},
      {"-0.6", kRange, 0, kOk, -1},
      {".5", kOk, 0, kOk, 0},
      {"3.", kOk, 3, kOk, 3},
      {"1e2", kOk, 100, kOk, 100},
      {"1E2", kOk, 100, kOk, 100},
      {"2.55e2", kOk, 255, kOk, 255},
      {"25e-1", kOk, 2, kOk, 2},
      {"1e+1", kOk, 10, kOk, 10},
      {"1e-400", kOk, 0, kOk, 0},
      {"32767", kRange, 0, kOk, 32767},
      {"32767.5", kRange, 0, kRange, 0},
      {"32768", kRange, 0, kRange, 0},
      {"-32768", kRange, 0, kOk, -32768},
      {"-32768.5", kRange, 0, kOk, -32768},
      {"-32769", kRange, 0, kRange, 0},
      {"1e308", kRange, 0, kRange, 0},
      {"99999999999999999999999", kRange, 0, kRange, 0},
      {"1e400", kNaN, 0, kNaN, 0},
      {"", kNaN, 0, kNaN, 0},
      {"   ", kNaN, 0, kNaN, 0},
      {"abc", kNaN, 0, kNaN, 0},
      {"1 2", kNaN, 0, kNaN, 0},
      {"1e", kNaN, 0, kNaN, 0},
      {"1e+", kNaN, 0, kNaN, 0},
      {"e5", kNaN, 0, kNaN, 0},
      {"--1", kNaN, 0, kNaN, 0},
      {"+-1", kNaN, 0, kNaN, 0},
      {"-", kNaN, 0, kNaN, 0},
      {".", kNaN, 0, kNaN, 0},
      {"-.", kNaN, 0, kNaN, 0},
      {"1..2", kNaN, 0, kNaN, 0},
      {"1.2.3", kNaN, 0, kNaN, 0},
      {"0x10", kNaN, 0, kNaN, 0},
      {"inf", kNaN, 0, kNaN, 0},
      {"-infinity", kNaN, 0, kNaN, 0},
      {"nan", kNaN, 0, kNaN, 0},
      {"1,000", kNaN, 0, kNaN, 0},
      {"2,5", kNaN, 0, kNaN, 0},
      {"5a", kNaN, 0, kNaN, 0},
      {"1\n", kNaN, 0, kNaN, 0},
      {std::string("1\0", 2), kNaN, 0, kNaN, 0},
      {"\xD9\xA3", kNaN, 0, kNaN, 0},      // ARABIC-INDIC DIGIT THREE
      {"\xEF\xBC\x91", kNaN, 0, kNaN, 0},  // FULLWIDTH DIGIT ONE
      {"\xE2\x88\x92"
       "1",
       kNaN, 0, kNaN, 0},  // MINUS SIGN
      {"\xC2\xA0"
       "1",
       kNaN, 0, kNaN, 0},  // NO-BREAK SPACE
  };
  return cases;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x" + std::to_string(c);
    }
  }
  return "\"" + out + "\"";
}

TEST(NumberText, EveryTextConvertsAsTheTableSays) {
  ASSERT_GE(Cases().size(), 40u);
  for (const TextCase& c : Cases()) {
    SCOPED_TRACE(Printable(c.text));
    EXPECT_EQ(IsNumber(c.text), c.as_byte != kNaN);

    const Converted<std::uint8_t> byte = ToByte(c.text);
    EXPECT_EQ(byte.status, c.as_byte);
    if (c.as_byte == kOk) {
      EXPECT_EQ(byte.value, c.byte_value);
    }

    const Converted<std::int16_t> int16 = ToInt16(c.text);
    EXPECT_EQ(int16.status, c.as_int16);
    if (c.as_int16 == kOk) {
      EXPECT_EQ(int16.value, c.int16_value);
    }
  }
}

TEST(NumberText, VeryLongDigitStringsAreNumbersOutOfRange) {
  // 300 nines is a large finite double; 400 nines is past the largest one, like 1e400.
  const std::string long_digits(300, '9');
  EXPECT_TRUE(IsNumber(long_digits));
  EXPECT_EQ(ToByte(long_digits).status, kRange);
  EXPECT_FALSE(IsNumber(std::string(400, '9')));
  EXPECT_FALSE(IsNumber(std::string(100'000, '9')));

  const std::string long_zeros = std::string(100'000, '0') + "42";
  EXPECT_EQ(ToByte(long_zeros).value, 42);
  EXPECT_EQ(ToByte("0." + std::string(5'000, '0') + "1").value, 0);
}

TEST(RoundHalfEven, TakesTheEvenNeighbourOnlyAtExactHalves) {
  struct Case {
    double in, out;
  };
  for (const Case& c : std::vector<Case>{{0.5, 0},
                                         {1.5, 2},
                                         {2.5, 2},
                                         {3.5, 4},
                                         {-0.5, 0},
                                         {-1.5, -2},
                                         {-2.5, -2},
                                         {2.4999999, 2},
                                         {2.5000001, 3},
                                         {-2.6, -3},
                                         {7, 7}}) {
    EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
  }
}

}  // namespace
}  // namespace korvalen
