#pragma once

// The panel's controls keep the names operators and maintainers know them by:
//   Text1     device ID, mirrors HScroll1        HScroll1  device ID, 0 to 127
//   Text2     position, mirrors HScroll2         HScroll2  position, 600 to 2400
//   Text3     current reading from the device    HScroll3  speed, 1 to 100
//   Text4     voltage reading from the device    Command1  Connect / disconnect
//   Text5     speed, mirrors HScroll3            Command2  Exit (stops the device first)
//   Text6     port number, typed by the operator Command3  Feedback (asks for a reading)
//   Label1..6 captions "ID:", "Position:",       Command4  Stop / GO, the run toggle
//             "Current:", "Voltage:",
//             "Comm Port:", "Speed:"
//   comm      the serial link to the device (SerialLink)
//   Timer1    the wait for a reply to Feedback; when it runs out the readings say so

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvalen {

enum class Control {
  Command1,
  Command2,
  Command3,
  Command4,
  Text1,
  Text2,
  Text3,
  Text4,
  Text5,
  Text6,
  HScroll1,
  HScroll2,
  HScroll3
};

// How many controls Control names; a table with an entry per control is sized by it.
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::HScroll3) + 1;

// What the panel logic needs of a window toolkit, so the logic runs and is tested without one.
class PanelView {
 public:
  virtual ~PanelView() = default;

  [[nodiscard]] virtual std::string Text(Control field) const = 0;
  virtual void SetText(Control field, const std::string& text) = 0;
  [[nodiscard]] virtual std::string Caption(Control button) const = 0;
  virtual void SetCaption(Control button, const std::string& caption) = 0;
  [[nodiscard]] virtual std::int16_t Value(Control slider) const = 0;
  // Modal, OK only, no icon, title "Korvalen"; the reason, if any, as a second, smaller line.
  virtual void MsgBox(const std::string& prompt, const std::string& reason = {}) = 0;
  // Marks a field as holding a value that cannot be used or relied on, without a modal box, the
  // reason as its tooltip; an empty reason clears the mark and the tooltip.
  virtual void SetInvalid(Control field, const std::string& reason) = 0;
  // What the operator reads on a control's tooltip, and a screen reader as its description, with
  // no mark; it replaces a mark SetInvalid left.
  virtual void SetNote(Control control, const std::string& note) = 0;
  // The local time of day, since midnight.
  [[nodiscard]] virtual std::chrono::milliseconds TimeOfDay() const = 0;
  // Raises Timer1 once, `interval` from now, in place of a wait not yet over; zero stops it.
  virtual void SetTimer1(std::chrono::milliseconds interval) = 0;
  // Ends the program at once.
  virtual void End() = 0;
};

}  // namespace korvalen
