#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"

namespace korvalen::testing {

class PanelTest : public ::testing::Test {
 protected:
  // Connects through the panel itself, then forgets the calls that took.
  void Connect(const std::string& port = "1") {
    view.SetText(Control::Text6, port);
    panel.Command1_Click();
    ASSERT_TRUE(link.PortOpen());
    ASSERT_EQ(view.Caption(Control::Command1), "NotConnect");
    link.ClearCalls();
  }

  [[nodiscard]] std::vector<std::string> Outputs() const {
    std::vector<std::string> outputs;
    for (const std::string& call : link.Calls()) {
      if (call.starts_with("Output")) outputs.push_back(call);
    }
    return outputs;
  }

  RecordingView view;
  RecordingLink link;
  Panel panel{view, link};
};

// Every procedure of the wiring table, named, for tests that must hold for each of them.
struct Procedure {
  const char* name;
  void (Panel::*call)();
};

inline const std::vector<Procedure> kSenders = {
    {"Command3_Click", &Panel::Command3_Click},   {"Command4_Click", &Panel::Command4_Click},
    {"HScroll2_Change", &Panel::HScroll2_Change}, {"HScroll2_Scroll", &Panel::HScroll2_Scroll},
    {"HScroll3_Change", &Panel::HScroll3_Change}, {"HScroll3_Scroll", &Panel::HScroll3_Scroll},
};

}  // namespace korvalen::testing
