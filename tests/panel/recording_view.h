#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "panel/panel_view.h"

namespace korvalen::testing {

// A window without a toolkit: the controls start as the panel's design has them, and every message
// box ("prompt|reason"), mark, note, wait and end is recorded; the clock shows what a test sets.
class RecordingView : public PanelView {
 public:
  [[nodiscard]] std::string Text(Control field) const override { return shown.at(field); }
  void SetText(Control field, const std::string& text) override { shown.at(field) = text; }
  [[nodiscard]] std::string Caption(Control button) const override { return shown.at(button); }
  void SetCaption(Control button, const std::string& text) override { shown.at(button) = text; }
  [[nodiscard]] std::int16_t Value(Control slider) const override { return values.at(slider); }
  void MsgBox(const std::string& prompt, const std::string& reason) override {
    messages.push_back(prompt + "|" + reason);
    if (while_box_open) while_box_open();
  }
  void SetInvalid(Control field, const std::string& reason) override {
    marks[field] = notes[field] = reason;
  }
  void SetNote(Control control, const std::string& note) override {
    marks[control] = "";
    notes[control] = note;
  }
  [[nodiscard]] std::chrono::milliseconds TimeOfDay() const override { return time_of_day; }
  void SetTimer1(std::chrono::milliseconds interval) override { timer1 = interval; }
  void End() override { ++ends; }

  // The text of every field and the caption of every button.
  std::map<Control, std::string> shown{{Control::Command1, "Connect"},  {Control::Command2, "Exit"},
                                       {Control::Command3, "Feedback"}, {Control::Command4, "Stop"},
                                       {Control::Text1, "0"},           {Control::Text2, "1500"},
                                       {Control::Text3, "0"},           {Control::Text4, "0"},
                                       {Control::Text5, "100"},         {Control::Text6, "1"}};
  std::map<Control, std::int16_t> values{
      {Control::HScroll1, 0}, {Control::HScroll2, 1500}, {Control::HScroll3, 100}};
  std::map<Control, std::string> marks;  // an empty reason is a cleared mark
  std::map<Control, std::string> notes;  // each control's tooltip, marked or not
  std::chrono::milliseconds time_of_day{};
  std::chrono::milliseconds timer1{};  // zero: stopped
  std::vector<std::string> messages;
  std::function<void()> while_box_open;
  int ends = 0;
};

}  // namespace korvalen::testing
