#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "panel/panel_view.h"

namespace korvalen::testing {

// A window without a toolkit: the controls start as the panel's design has them, and every
// message box, mark and end is recorded.
class RecordingView : public PanelView {
 public:
  struct Message {
    std::string prompt;
    std::string reason;
    bool operator==(const Message&) const = default;
  };

  [[nodiscard]] std::string Text(Control field) const override { return texts_.at(field); }
  void SetText(Control field, const std::string& text) override { texts_.at(field) = text; }
  [[nodiscard]] std::string Caption(Control button) const override { return captions_.at(button); }
  void SetCaption(Control button, const std::string& caption) override {
    captions_.at(button) = caption;
  }
  [[nodiscard]] std::int16_t Value(Control slider) const override { return values_.at(slider); }
  void MsgBox(const std::string& prompt, const std::string& reason) override {
    messages_.push_back({prompt, reason});
    if (while_box_open_) while_box_open_();
  }
  void SetInvalid(Control field, const std::string& reason) override {
    if (reason.empty()) {
      invalid_.erase(field);
    } else {
      invalid_[field] = reason;
    }
  }
  void End() override { ++ends_; }

  void SetValue(Control slider, std::int16_t value) { values_.at(slider) = value; }
  void WhileBoxOpen(std::function<void()> action) { while_box_open_ = std::move(action); }

  [[nodiscard]] const std::vector<Message>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  [[nodiscard]] bool IsInvalid(Control field) const { return invalid_.contains(field); }
  [[nodiscard]] int Ends() const { return ends_; }
  [[nodiscard]] bool operator==(const RecordingView& other) const {
    return texts_ == other.texts_ && captions_ == other.captions_ && values_ == other.values_;
  }

 private:
  std::map<Control, std::string> texts_{
      {Control::Text1, "0"}, {Control::Text2, "1500"}, {Control::Text3, "0"},
      {Control::Text4, "0"}, {Control::Text5, "100"},  {Control::Text6, "1"},
  };
  std::map<Control, std::string> captions_{
      {Control::Command1, "Connect"},
      {Control::Command2, "Exit"},
      {Control::Command3, "Feedback"},
      {Control::Command4, "Stop"},
  };
  std::map<Control, std::int16_t> values_{
      {Control::HScroll1, 0},
      {Control::HScroll2, 1500},
      {Control::HScroll3, 100},
  };
  std::vector<Message> messages_;
  std::map<Control, std::string> invalid_;
  std::function<void()> while_box_open_;
  int ends_ = 0;
};

}  // namespace korvalen::testing
