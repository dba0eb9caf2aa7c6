#pragma once

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "tests/panel/scroll_bar_part.h"

namespace korvalen::testing {

using Bytes = std::vector<std::uint8_t>;

// A command frame as the device reads it: header, three bytes, the byte that makes the first five
// add up to a multiple of 256, two zeros.
inline Bytes Frame(int b1, int b2, int b3) {
  const int sum = 0x80 + b1 + b2 + b3;
  return {0x80,
          static_cast<std::uint8_t>(b1),
          static_cast<std::uint8_t>(b2),
          static_cast<std::uint8_t>(b3),
          static_cast<std::uint8_t>((256 - sum % 256) % 256),
          0,
          0};
}

inline Bytes PositionBytes(int position) {
  return Frame(0, position / 256, position % 256);
}

// Passes every call to the real link and keeps what each read returned and each write handed over,
// so a test can say how the bytes came off the line (one read of 7, one of 8...) and what the panel
// tried to send, not only what the window showed and the device received.
class LinkProbe final : public SerialLink {
 public:
  explicit LinkProbe(SerialLink& link) : link_(link) {}

  void SetCommPort(std::int16_t port) override { link_.SetCommPort(port); }
  void SetSettings(const std::string& settings) override { link_.SetSettings(settings); }
  [[nodiscard]] bool PortOpen() const override { return link_.PortOpen(); }
  void SetPortOpen(bool open) override { link_.SetPortOpen(open); }
  void SetInBufferCount(int count) override { link_.SetInBufferCount(count); }
  void SetOutput(std::span<const std::uint8_t> bytes) override {
    outputs_.emplace_back(bytes.begin(), bytes.end());
    link_.SetOutput(bytes);
  }
  [[nodiscard]] std::int16_t CommEvent() const override { return link_.CommEvent(); }
  [[nodiscard]] Bytes Input() override {
    Bytes bytes = link_.Input();
    reads_.push_back(bytes);
    read_while_box_open_.push_back(QApplication::activeModalWidget() != nullptr);
    return bytes;
  }
  void SetOnComm(std::function<void()> handler) override { link_.SetOnComm(std::move(handler)); }
  void SetOnPortLost(std::function<void()> handler) override {
    link_.SetOnPortLost(std::move(handler));
  }

  [[nodiscard]] const std::vector<Bytes>& Reads() const { return reads_; }
  [[nodiscard]] const std::vector<bool>& ReadWhileBoxOpen() const { return read_while_box_open_; }
  [[nodiscard]] const std::vector<Bytes>& Outputs() const { return outputs_; }
  [[nodiscard]] std::size_t BytesRead() const {
    std::size_t total = 0;
    for (const Bytes& read : reads_) total += read.size();
    return total;
  }

 private:
  SerialLink& link_;
  std::vector<Bytes> reads_;
  std::vector<bool> read_while_box_open_;
  std::vector<Bytes> outputs_;
};

struct ShownBox {
  std::string text;
  std::string reason;
  friend bool operator==(const ShownBox&, const ShownBox&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const ShownBox& box) {
  return out << '"' << box.text << "\" (" << box.reason << ')';
}

// Sees every message box the moment it is shown, keeps its texts and presses OK from inside the
// box's own event loop, after running what the test wants done while the box is open. Nested boxes
// are seen too, so a test counts messages instead of hanging on an unexpected second one.
class BoxWatcher final : public QObject {
 public:
  BoxWatcher() { QApplication::instance()->installEventFilter(this); }
  ~BoxWatcher() override { QApplication::instance()->removeEventFilter(this); }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  void WhileOpen(std::function<void()> action) { while_open_ = std::move(action); }
  [[nodiscard]] const std::vector<ShownBox>& Shown() const { return shown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* const box = qobject_cast<QMessageBox*>(watched);
    if (box != nullptr && event->type() == QEvent::Show) {
      shown_.push_back({box->text().toStdString(), box->informativeText().toStdString()});
      QTimer::singleShot(0, box, [this, guarded = QPointer<QMessageBox>(box)] {
        if (while_open_) while_open_();
        if (guarded) guarded->button(QMessageBox::Ok)->click();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> while_open_;
  std::vector<ShownBox> shown_;
};

// Counts how often the event loop wakes up: a loop that spins on a dead descriptor wakes thousands
// of times a second, an idle one a handful.
class WakeupCounter final : public QObject {
 public:
  WakeupCounter() {
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
            [this] { ++wakeups_; });
  }
  [[nodiscard]] int Wakeups() const { return wakeups_; }

 private:
  int wakeups_ = 0;
};

// The real window over the real link to whatever plays the device at `path`, as port 1.
class Bench {
 public:
  explicit Bench(const std::string& path)
      : comm_(FixedPorts(PortTable::One(path))),
        probe_(comm_),
        window_(std::make_unique<frm_Korvalen>(probe_)) {
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) throw std::runtime_error("window not shown");
  }

  template <typename T>
  [[nodiscard]] T* Child(const char* name) const {
    T* const child = window_->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) throw std::logic_error(std::string("no control ") + name);
    return child;
  }

  void Click(const char* button) const {
    QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton);
  }

  void TypePort(const char* text) const {
    auto* const field = Child<QLineEdit>("Text6");
    field->selectAll();
    if (*text == '\0') {
      QTest::keyClick(field, Qt::Key_Delete);
    } else {
      QTest::keyClicks(field, QString::fromLatin1(text));
    }
  }

  // Types port 1 and clicks Connect; true when the window says it is connected.
  [[nodiscard]] bool Connect() const {
    TypePort("1");
    Click("Command1");
    return comm_.PortOpen() && Caption(Control::Command1) == "NotConnect";
  }

  // Where the operator grabs the slider's thumb.
  [[nodiscard]] QPoint Thumb(const char* slider) const {
    auto* const bar = Child<QScrollBar>(slider);
    return test::ScrollBarPart(bar, QStyle::SC_ScrollBarSlider).center();
  }

  void PressKey(const char* slider, Qt::Key key) const {
    auto* const bar = Child<QScrollBar>(slider);
    bar->setFocus();
    QTest::keyClick(bar, key);
  }

  [[nodiscard]] std::string Text(Control field) const { return window_->Text(field); }
  [[nodiscard]] std::string Caption(Control button) const { return window_->Caption(button); }
  [[nodiscard]] const Panel& State() const { return window_->State(); }
  [[nodiscard]] frm_Korvalen& Window() const { return *window_; }
  [[nodiscard]] HostSerialLink& Comm() { return comm_; }
  [[nodiscard]] const LinkProbe& Probe() const { return probe_; }
  [[nodiscard]] BoxWatcher& Boxes() { return boxes_; }

 private:
  HostSerialLink comm_;
  LinkProbe probe_;
  BoxWatcher boxes_;
  std::unique_ptr<frm_Korvalen> window_;
};

}  // namespace korvalen::testing
