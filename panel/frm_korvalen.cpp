#include "panel/frm_korvalen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTime>
#include <QTimer>
#include <QToolTip>
#include <array>
#include <stdexcept>

#include "panel/command_button.h"
#include "panel/focus_ring.h"
#include "panel/set_point_slider.h"

namespace korvalen {
namespace {

// The design is laid out in twips; 15 of them make one pixel at 96 dpi, and Qt scales pixels on
// high-DPI screens.
constexpr int kTwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height) {
  return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
          height / kTwipsPerPixel};
}

template <typename Button = QPushButton>
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect where) {
  auto* button = new Button(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(where);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeField(QWidget* parent, const char* name, const char* text, QRect where,
                     bool read_only) {
  auto* field = new QLineEdit(QString::fromLatin1(text), parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setGeometry(where);
  field->setReadOnly(read_only);
  return field;
}

QScrollBar* MakeSlider(QWidget* parent, const char* name, int minimum, int maximum, int value,
                       int small_step, int large_step, QRect where) {
  auto* slider = new SetPointSlider(parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(minimum, maximum);
  slider->setSingleStep(small_step);
  slider->setPageStep(large_step);
  slider->setValue(value);
  slider->setGeometry(where);
  slider->setFocusPolicy(Qt::StrongFocus);
  // A set-point, not a view onto content: left and down lower it, right and up raise it.
  slider->setInvertedControls(false);
  return slider;
}

// Labels carry no logic: each names the field and the slider it stands by, for the eye and for
// screen readers.
struct LabelDesign {
  const char* name = nullptr;
  const char* text = nullptr;
  QRect where;
  QLineEdit* field = nullptr;
  QScrollBar* slider = nullptr;
};

void MakeLabel(QWidget* parent, const LabelDesign& design) {
  auto* label = new QLabel(QString::fromLatin1(design.text), parent);
  label->setObjectName(QString::fromLatin1(design.name));
  label->setGeometry(design.where);
  label->setBuddy(design.field);
  QString name = label->text();
  name.chop(1);  // the colon
  design.field->setAccessibleName(name);
  if (design.slider != nullptr) design.slider->setAccessibleName(name);
}

// Whether a field carries the mark of a value not to be used or relied on.
constexpr char kMarked[] = "korvalenMarked";

// The mark tints the palette's own background red and keeps its text, so the text keeps the
// contrast the theme gave it, light or dark.
void Mark(QWidget* field, bool marked) {
  field->setProperty(kMarked, marked);
  if (!marked) {
    field->setPalette(QPalette());  // back to the window's
    return;
  }
  constexpr float kRed = 0.3F;
  const QColor base = field->parentWidget()->palette().color(QPalette::Base);
  QPalette tinted;
  tinted.setColor(QPalette::Base,
                  QColor::fromRgbF(base.redF() * (1 - kRed) + kRed, base.greenF() * (1 - kRed),
                                   base.blueF() * (1 - kRed)));
  field->setPalette(tinted);
}

}  // namespace

frm_Korvalen::frm_Korvalen(SerialLink& comm, PortDescription describe_ports, QWidget* parent)
    : QWidget(parent),
      describe_ports_(std::move(describe_ports)),
      Command1_(MakeButton(this, "Command1", "Connect", Twips(420, 2640, 1335, 435))),
      Command2_(MakeButton(this, "Command2", "Exit", Twips(2040, 2640, 1335, 435))),
      // Feedback and Stop/GO send a frame at every click, so the frame goes before the redraw; a
      // box opens from them only when the port is lost. Connect and Exit open boxes in the normal
      // course of their click, and a box must find the button beneath it drawn.
      Command3_(
          MakeButton<CommandButton>(this, "Command3", "Feedback", Twips(120, 960, 1695, 375))),
      Command4_(MakeButton<CommandButton>(this, "Command4", "Stop", Twips(120, 1440, 1695, 375))),
      Text1_(MakeField(this, "Text1", "0", Twips(3060, 120, 675, 270), false)),
      Text2_(MakeField(this, "Text2", "1500", Twips(3000, 960, 735, 270), true)),
      Text3_(MakeField(this, "Text3", "0", Twips(960, 180, 795, 255), true)),
      Text4_(MakeField(this, "Text4", "0", Twips(960, 540, 795, 255), true)),
      Text5_(MakeField(this, "Text5", "100", Twips(3000, 1800, 735, 255), true)),
      Text6_(MakeField(this, "Text6", "1", Twips(1380, 1980, 555, 315), false)),
      HScroll1_(MakeSlider(this, "HScroll1", 0, 127, 0, 1, 1, Twips(2100, 480, 1635, 315))),
      HScroll2_(
          MakeSlider(this, "HScroll2", 600, 2400, 1500, 10, 50, Twips(2100, 1320, 1635, 315))),
      HScroll3_(MakeSlider(this, "HScroll3", 1, 100, 100, 1, 1, Twips(2100, 2160, 1635, 315))),
      Timer1_(new QTimer(this)),
      focus_ring_(new FocusRing(this)),
      panel_(*this, comm) {
  setObjectName(QStringLiteral("frm_Korvalen"));
  setWindowTitle(QStringLiteral("Korvalen"));
  setFixedSize(3930 / kTwipsPerPixel, 3570 / kTwipsPerPixel);
  const LabelDesign labels[] = {
      {"Label1", "ID:", Twips(2220, 180, 495, 195), Text1_, HScroll1_},
      {"Label2", "Position:", Twips(2160, 1020, 735, 195), Text2_, HScroll2_},
      {"Label3", "Current:", Twips(120, 240, 735, 255), Text3_},
      {"Label4", "Voltage:", Twips(120, 600, 795, 255), Text4_},
      {"Label5", "Comm Port:", Twips(180, 2040, 1395, 255), Text6_},
      {"Label6", "Speed:", Twips(2160, 1860, 795, 195), Text5_, HScroll3_},
  };
  for (const LabelDesign& label : labels) MakeLabel(this, label);
  Command4_->setToolTip(QStringLiteral(
      "Esc clicks this button from anywhere in the panel while it says Stop, never while it "
      "says GO."));
  Timer1_->setObjectName(QStringLiteral("Timer1"));
  Timer1_->setSingleShot(true);
  SetTabOrder();
  Text6_->installEventFilter(this);
  for (QPushButton* const button : {Command1_, Command2_, Command3_, Command4_}) {
    button->installEventFilter(this);
  }
  Wire();
}

void frm_Korvalen::Wire() {
  connect(Command1_, &QPushButton::clicked, this, [this] { panel_.Command1_Click(); });
  connect(Command2_, &QPushButton::clicked, this, [this] { panel_.Command2_Click(); });
  connect(Command3_, &QPushButton::clicked, this, [this] { panel_.Command3_Click(); });
  connect(Command4_, &QPushButton::clicked, this, [this] { panel_.Command4_Click(); });

  // HScroll1 has no Scroll procedure: the ID field waits for the thumb's release.
  WireSlider(HScroll1_, &Panel::HScroll1_Change, nullptr);
  WireSlider(HScroll2_, &Panel::HScroll2_Change, &Panel::HScroll2_Scroll);
  WireSlider(HScroll3_, &Panel::HScroll3_Change, &Panel::HScroll3_Scroll);

  // comm's OnComm reaches comm_OnComm through the link; Panel registers that itself.
  connect(Timer1_, &QTimer::timeout, this, [this] { panel_.Timer1_Timer(); });

  // Esc stops the device from anywhere in the panel, as a click on Stop would; no key starts it.
  auto* const escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (Command4_->text() == QLatin1String("Stop")) Command4_->click();
  });

  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* /*old*/, QWidget* now) {
    focus_ring_->setWidget(isAncestorOf(now) ? now : nullptr);
  });
}

void frm_Korvalen::WireSlider(QScrollBar* slider, void (Panel::*on_change)(),
                              void (Panel::*on_scroll)()) {
  // A dragged thumb changes the value while the slider is down: that is Scroll. Every other
  // change is committed at once, and the release of the thumb commits too, moved or not.
  connect(slider, &QScrollBar::valueChanged, this, [this, slider, on_change, on_scroll] {
    if (!slider->isSliderDown()) {
      (panel_.*on_change)();
    } else if (on_scroll != nullptr) {
      (panel_.*on_scroll)();
    }
  });
  connect(slider, &QScrollBar::sliderReleased, this, [this, on_change] { (panel_.*on_change)(); });
}

void frm_Korvalen::SetTabOrder() {
  QWidget* const order[] = {Command1_, Command2_, Text1_, HScroll1_, HScroll2_, Command3_, Text3_,
                            Text4_,    Text2_,    Text5_, HScroll3_, Command4_, Text6_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

template <typename Widget>
Widget* frm_Korvalen::Find(Control control) const {
  // In the order of Control's values.
  const auto controls =
      std::to_array<QWidget*>({Command1_, Command2_, Command3_, Command4_, Text1_, Text2_, Text3_,
                               Text4_, Text5_, Text6_, HScroll1_, HScroll2_, HScroll3_});
  static_assert(std::tuple_size_v<decltype(controls)> == kControlCount, "a widget per Control");
  auto* const widget = qobject_cast<Widget*>(controls[static_cast<std::size_t>(control)]);
  if (widget == nullptr) throw std::invalid_argument("no such control of that kind");
  return widget;
}

std::string frm_Korvalen::Text(Control field) const {
  return Find<QLineEdit>(field)->text().toStdString();
}

void frm_Korvalen::SetText(Control field, const std::string& text) {
  Find<QLineEdit>(field)->setText(QString::fromStdString(text));
}

std::string frm_Korvalen::Caption(Control button) const {
  return Find<QPushButton>(button)->text().toStdString();
}

void frm_Korvalen::SetCaption(Control button, const std::string& caption) {
  Find<QPushButton>(button)->setText(QString::fromStdString(caption));
}

std::int16_t frm_Korvalen::Value(Control slider) const {
  // Every range is within 0..2400, so the value always fits.
  return static_cast<std::int16_t>(Find<QScrollBar>(slider)->value());
}

void frm_Korvalen::MsgBox(const std::string& prompt, const std::string& reason) {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("Korvalen"));
  box.setIcon(QMessageBox::NoIcon);
  box.setText(QString::fromStdString(prompt));
  if (!reason.empty()) box.setInformativeText(QString::fromStdString(reason));
  box.setStandardButtons(QMessageBox::Ok);
  // The box's own event loop keeps the link's receive events flowing while it is open.
  box.exec();
}

void frm_Korvalen::SetInvalid(Control field, const std::string& reason) {
  ShowNote(Find<QLineEdit>(field), QString::fromStdString(reason), !reason.empty());
}

void frm_Korvalen::SetNote(Control control, const std::string& note) {
  ShowNote(Find<QWidget>(control), QString::fromStdString(note), false);
}

void frm_Korvalen::ShowNote(QWidget* control, const QString& note, bool marked) {
  // Every position and speed frame asks again; a tooltip, a description and a palette set to what
  // they are already would still cost events and a repaint per frame while a slider streams.
  if (control->toolTip() == note && control->property(kMarked).toBool() == marked) return;
  control->setToolTip(note);
  control->setAccessibleDescription(note);
  Mark(control, marked);
}

std::chrono::milliseconds frm_Korvalen::TimeOfDay() const {
  return std::chrono::milliseconds(QTime::currentTime().msecsSinceStartOfDay());
}

void frm_Korvalen::SetTimer1(std::chrono::milliseconds interval) {
  if (interval.count() == 0) {
    Timer1_->stop();
  } else {
    Timer1_->start(interval);
  }
}

void frm_Korvalen::End() {
  close();
  QCoreApplication::exit(panel_.ExitCode());
}

void frm_Korvalen::changeEvent(QEvent* event) {
  // The theme changed under a marked field: the mark takes the new theme's colours.
  if (event->type() == QEvent::PaletteChange) {
    for (QLineEdit* const field : findChildren<QLineEdit*>()) {
      if (field->property(kMarked).toBool()) Mark(field, true);
    }
  }
  QWidget::changeEvent(event);
}

void frm_Korvalen::closeEvent(QCloseEvent* event) {
  panel_.WindowClosed();
  event->accept();
}

bool frm_Korvalen::eventFilter(QObject* watched, QEvent* event) {
  // Operators who work from the keyboard press Enter on a focused button as they would Space; Qt
  // gives Enter to a button only in dialogs, and this window is not one.
  if (event->type() == QEvent::KeyPress) {
    auto* const button = qobject_cast<QPushButton*>(watched);
    const auto* const key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (button != nullptr && enter && plain) {
      // Held down, Enter clicks once, as Space does.
      if (!key->isAutoRepeat()) button->click();
      return true;
    }
  }
  if (watched == Text6_ && event->type() == QEvent::ToolTip) {
    const std::string ports = describe_ports_ ? describe_ports_() : std::string();
    if (ports.empty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                         QString::fromStdString(ports), Text6_);
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace korvalen
