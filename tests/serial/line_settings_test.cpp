#include "serial/line_settings.h"

#include <gtest/gtest.h>

#include "serial/serial_link.h"

namespace korvalen {
namespace {

struct GoodCase {
  const char* text;
  LineSettings expected;
};

TEST(LineSettings, ParsesEveryField) {
  const GoodCase cases[] = {
      {"19200,N,8,2", {19200, Parity::kNone, 8, StopBits::kTwo}},
      {"9600,n,8,1", {9600, Parity::kNone, 8, StopBits::kOne}},
      {"115200,E,7,1", {115200, Parity::kEven, 7, StopBits::kOne}},
      {"300,O,5,2", {300, Parity::kOdd, 5, StopBits::kTwo}},
      {"1200,M,6,2", {1200, Parity::kMark, 6, StopBits::kTwo}},
      {"50,s,8,1", {50, Parity::kSpace, 8, StopBits::kOne}},
      {"4000000,N,8,1", {4000000, Parity::kNone, 8, StopBits::kOne}},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseLineSettings(c.text), c.expected);
  }
}

struct BadCase {
  const char* text;
  const char* reason;  // part of the message the operator sees
};

TEST(LineSettings, RejectsMalformedTextWithTheReason) {
  const BadCase cases[] = {
      {"", "expected baud,parity"},
      {"19200,N,8", "expected baud,parity"},
      {"19200,N,8,2,", "expected baud,parity"},
      {"19200;N;8;2", "expected baud,parity"},
      {",N,8,2", "baud"},
      {"fast,N,8,2", "baud"},
      {"19200.5,N,8,2", "baud"},
      {"-9600,N,8,2", "baud"},
      {"49,N,8,2", "baud"},
      {"4000001,N,8,2", "baud"},
      {"99999999999,N,8,2", "baud"},
      {" 19200,N,8,2", "baud"},
      {"19200,X,8,2", "parity"},
      {"19200,,8,2", "parity"},
      {"19200,NO,8,2", "parity"},
      {"19200,N,4,2", "data bits"},
      {"19200,N,9,2", "data bits"},
      {"19200,N,8bit,2", "data bits"},
      {"19200,N,8,0", "stop bits"},
      {"19200,N,8,3", "stop bits"},
      {"19200,N,8,1.0", "stop bits"},
      {"19200,N,8,", "stop bits"},
      {"300,N,5,1.5", "stop bits"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      (void)ParseLineSettings(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const SerialError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      EXPECT_NE(message.find(std::string("\"") + c.text + "\""), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace korvalen
