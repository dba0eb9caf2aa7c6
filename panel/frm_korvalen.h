#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "panel/panel.h"
#include "panel/panel_view.h"
#include "serial/serial_link.h"

class QFocusFrame;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;

namespace korvalen {

// The operator's window: the controls at their design positions, each toolkit event handed to the
// panel's procedure of the same name. It holds no logic of its own.
class frm_Korvalen : public QWidget, public PanelView {
  Q_OBJECT

 public:
  // What the port field's tooltip shows; asked afresh each time the tooltip appears.
  using PortDescription = std::function<std::string()>;

  explicit frm_Korvalen(SerialLink& comm, PortDescription describe_ports = {},
                        QWidget* parent = nullptr);

  [[nodiscard]] std::string Text(Control field) const override;
  void SetText(Control field, const std::string& text) override;
  [[nodiscard]] std::string Caption(Control button) const override;
  void SetCaption(Control button, const std::string& caption) override;
  [[nodiscard]] std::int16_t Value(Control slider) const override;
  void MsgBox(const std::string& prompt, const std::string& reason = {}) override;
  void SetInvalid(Control field, const std::string& reason) override;
  void SetNote(Control control, const std::string& note) override;
  [[nodiscard]] std::chrono::milliseconds TimeOfDay() const override;
  void SetTimer1(std::chrono::milliseconds interval) override;
  void End() override;

  [[nodiscard]] const Panel& State() const { return panel_; }
  [[nodiscard]] Panel& State() { return panel_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Wire();
  void WireSlider(QScrollBar* slider, void (Panel::*on_change)(), void (Panel::*on_scroll)());
  void SetTabOrder();
  void ShowNote(QWidget* control, const QString& note, bool marked);
  // The control's widget; std::invalid_argument if it is not a Widget.
  template <typename Widget>
  [[nodiscard]] Widget* Find(Control control) const;

  PortDescription describe_ports_;

  QPushButton* const Command1_;
  QPushButton* const Command2_;
  QPushButton* const Command3_;
  QPushButton* const Command4_;
  QLineEdit* const Text1_;
  QLineEdit* const Text2_;
  QLineEdit* const Text3_;
  QLineEdit* const Text4_;
  QLineEdit* const Text5_;
  QLineEdit* const Text6_;
  QScrollBar* const HScroll1_;
  QScrollBar* const HScroll2_;
  QScrollBar* const HScroll3_;
  QTimer* const Timer1_;
  QFocusFrame* const focus_ring_;

  // Last, so the controls it reads exist before it registers with the link.
  Panel panel_;
};

}  // namespace korvalen
