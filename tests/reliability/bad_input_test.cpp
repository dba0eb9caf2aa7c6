// Whatever the operator types into the port and ID fields, the panel shows the right message,
// keeps its caption and port number honest, and sends exactly the frames the text deserves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../panel/panel_fixture.h"

namespace korvalen::testing {
namespace {

enum class Outcome { kConnects, kNotNumeric, kConnectError };

struct PortCase {
  std::string text;
  Outcome outcome;
  int port_number;  // PortNumber after the click, when the text is a number in range
};

const std::vector<PortCase>& PortCases() {
  using enum Outcome;
  static const std::vector<PortCase> cases = {
      {"1", kConnects, 1},
      {"0", kConnects, 0},
      {"255", kConnects, 255},
      {"+7", kConnects, 7},
      {"007", kConnects, 7},
      {" 7 ", kConnects, 7},
      {"\t9\t", kConnects, 9},
      {"2.5", kConnects, 2},
      {"3.5", kConnects, 4},
      {"0.5", kConnects, 0},
      {"-0.5", kConnects, 0},
      {"-0", kConnects, 0},
      {"254.5", kConnects, 254},
      {"255.4", kConnects, 255},
      {".5", kConnects, 0},
      {"3.", kConnects, 3},
      {"1e2", kConnects, 100},
      {"2.55E2", kConnects, 255},
      {"25e-1", kConnects, 2},
      {"1e-400", kConnects, 0},
      {std::string(2000, '0') + "12", kConnects, 12},
      {"256", kConnectError, 0},
      {"300", kConnectError, 0},
      {"-1", kConnectError, 0},
      {"-0.51", kConnectError, 0},
      {"255.5", kConnectError, 0},
      {"1e3", kConnectError, 0},
      {"32768", kConnectError, 0},
      {std::string(300, '9'), kConnectError, 0},
      {"", kNotNumeric, 0},
      {"   ", kNotNumeric, 0},
      {"abc", kNotNumeric, 0},
      {"1a", kNotNumeric, 0},
      {"1 2", kNotNumeric, 0},
      {"--1", kNotNumeric, 0},
      {"+", kNotNumeric, 0},
      {".", kNotNumeric, 0},
      {"1e", kNotNumeric, 0},
      {"0x10", kNotNumeric, 0},
      {"inf", kNotNumeric, 0},
      {"nan", kNotNumeric, 0},
      {"1,5", kNotNumeric, 0},
      {"1\n", kNotNumeric, 0},
      {"\x1b[A", kNotNumeric, 0},
      {std::string("1\0", 2), kNotNumeric, 0},
      {"\xD9\xA1", kNotNumeric, 0},      // ARABIC-INDIC DIGIT ONE
      {"\xEF\xBC\x91", kNotNumeric, 0},  // FULLWIDTH DIGIT ONE
      {"\xE2\x88\x92"
       "1",
       kNotNumeric, 0},                         // MINUS SIGN
      {std::string(400, '9'), kNotNumeric, 0},  // past the largest double
      {std::string(100'000, 'x'), kNotNumeric, 0},
  };
  return cases;
}

std::string Shown(const std::string& text) {
  return text.size() > 24 ? text.substr(0, 24) + "... (" + std::to_string(text.size()) + ")"
                          : "\"" + text + "\"";
}

TEST(BadPortText, WhileDisconnected) {
  ASSERT_GE(PortCases().size(), 40u);
  for (const PortCase& c : PortCases()) {
    SCOPED_TRACE(Shown(c.text));
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    view.SetText(Control::Text6, c.text);
    panel.Command1_Click();

    switch (c.outcome) {
      case Outcome::kConnects:
        EXPECT_TRUE(view.Messages().empty());
        EXPECT_TRUE(link.PortOpen());
        EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
        EXPECT_EQ(panel.PortNumber(), c.port_number);
        ASSERT_FALSE(link.Calls().empty());
        EXPECT_EQ(link.Calls().front(), "CommPort " + std::to_string(c.port_number));
        break;
      case Outcome::kNotNumeric:
        EXPECT_EQ(view.Messages(), (std::vector<RecordingView::Message>{{"CommPort Numeric", ""}}));
        EXPECT_TRUE(link.Calls().empty());
        EXPECT_EQ(view.Caption(Control::Command1), "Connect");
        EXPECT_EQ(panel.PortNumber(), 0);
        break;
      case Outcome::kConnectError:
        ASSERT_EQ(view.Messages().size(), 1u);
        EXPECT_EQ(view.Messages()[0].prompt, "Connect error!");
        EXPECT_FALSE(view.Messages()[0].reason.empty());
        EXPECT_TRUE(link.Calls().empty());
        EXPECT_EQ(view.Caption(Control::Command1), "Connect");
        EXPECT_EQ(panel.PortNumber(), 0);
        break;
    }
    EXPECT_TRUE(link.Written().empty());  // connecting never sends a frame
  }
}

TEST(BadPortText, WhileConnected) {
  for (const PortCase& c : PortCases()) {
    SCOPED_TRACE(Shown(c.text));
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    view.SetText(Control::Text6, "9");
    panel.Command1_Click();
    ASSERT_TRUE(link.PortOpen());
    link.ClearCalls();

    view.SetText(Control::Text6, c.text);
    panel.Command1_Click();
    if (c.outcome == Outcome::kConnects) {
      // Any number that fits a port number disconnects, and is stored.
      EXPECT_FALSE(link.PortOpen());
      EXPECT_EQ(link.Calls(), (std::vector<std::string>{"PortOpen false"}));
      EXPECT_EQ(view.Caption(Control::Command1), "Connect");
      EXPECT_EQ(panel.PortNumber(), c.port_number);
      EXPECT_TRUE(view.Messages().empty());
    } else {
      EXPECT_TRUE(link.PortOpen());
      EXPECT_TRUE(link.Calls().empty());
      EXPECT_EQ(view.Caption(Control::Command1), "NotConnect");
      EXPECT_EQ(panel.PortNumber(), 9);
      ASSERT_EQ(view.Messages().size(), 1u);
      EXPECT_EQ(view.Messages()[0].prompt,
                c.outcome == Outcome::kNotNumeric ? "CommPort Numeric" : "Connect error!");
    }
  }
}

struct IdCase {
  std::string text;
  int id;  // the device ID the frames carry, or -1: nothing may be sent
};

const std::vector<IdCase>& IdCases() {
  static const std::vector<IdCase> cases = {
      {"0", 0},
      {"5", 5},
      {"127", 127},
      {"+5", 5},
      {" 5 ", 5},
      {"\t5", 5},
      {"0005", 5},
      {"2.5", 2},
      {"3.5", 4},
      {"-0.5", 0},
      {"126.5", 126},
      {"127.4", 127},
      {"1e2", 100},
      {"1.27e2", 127},
      {"-0", 0},
      {"127.5", -1},  // rounds to 128
      {"128", -1},
      {"233", -1},  // would make a position frame a speed command
      {"239", -1},  // would make it a shutdown
      {"255", -1},
      {"256", -1},
      {"-1", -1},
      {"-0.51", -1},
      {"32767", -1},
      {"32768", -1},
      {"-32769", -1},
      {"1e400", -1},
      {"", -1},
      {"  ", -1},
      {"abc", -1},
      {"0x7F", -1},
      {"1,2", -1},
      {"5\n", -1},
      {"nan", -1},
      {"\xD9\xA5", -1},  // ARABIC-INDIC DIGIT FIVE
      {std::string(400, '9'), -1},
      {std::string(100'000, '1'), -1},
  };
  return cases;
}

TEST(BadIdText, PositionAndSpeedSendOnlyForAnIdFrom0To127) {
  ASSERT_GE(IdCases().size(), 30u);
  for (const IdCase& c : IdCases()) {
    SCOPED_TRACE(Shown(c.text));
    RecordingView view;
    RecordingLink link;
    Panel panel(view, link);
    view.SetText(Control::Text6, "1");
    panel.Command1_Click();
    link.ClearCalls();

    view.SetText(Control::Text1, c.text);
    view.SetValue(Control::HScroll2, 2400);
    panel.Command3_Click();  // FeedbackMode 1, so a refused send must still put it back to 0
    link.ClearCalls();
    panel.HScroll2_Scroll();
    EXPECT_EQ(panel.FeedbackMode(), 0);
    view.SetValue(Control::HScroll3, 7);
    panel.HScroll3_Change();

    EXPECT_EQ(view.Text(Control::Text2), "2400");  // the mirrors follow either way
    EXPECT_EQ(view.Text(Control::Text5), "7");
    EXPECT_TRUE(view.Messages().empty());  // never a modal box for an ID
    EXPECT_EQ(view.IsInvalid(Control::Text1), c.id < 0);
    if (c.id < 0) {
      EXPECT_TRUE(link.Calls().empty());
    } else {
      const CommandFrame position = PositionFrame(c.id, 2400);
      const CommandFrame speed = SpeedFrame(c.id, 7);
      EXPECT_EQ(link.Written(),
                (std::vector<std::vector<std::uint8_t>>{{position.begin(), position.end()},
                                                        {speed.begin(), speed.end()}}));
    }
  }
}

TEST(BadIdText, TheMarkClearsOnceAValidIdIsUsed) {
  RecordingView view;
  RecordingLink link;
  Panel panel(view, link);
  view.SetText(Control::Text1, "233");
  panel.HScroll2_Change();
  ASSERT_TRUE(view.IsInvalid(Control::Text1));
  view.SetText(Control::Text1, "12");
  panel.HScroll3_Scroll();
  EXPECT_FALSE(view.IsInvalid(Control::Text1));
}

}  // namespace
}  // namespace korvalen::testing
