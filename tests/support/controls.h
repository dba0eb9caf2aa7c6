#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <functional>
#include <ostream>
#include <vector>

// Test failures name the texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace korvalen::test {

// The control of the window's design called `name` (`Command1`, `HScroll2`...). A missing control
// means the window is not the one under test, so the run stops there.
template <typename T>
T& Find(const QObject& root, const char* name) {
  T* const found = root.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no control named %s", name);
  return *found;
}

// Clicks the button called `name` with the mouse, as the operator does.
inline void Click(const QObject& root, const char* name) {
  QTest::mouseClick(&Find<QPushButton>(root, name), Qt::LeftButton);
}

// Answers every message box with OK as soon as it shows, after running `while_open` inside it,
// and keeps what each one said. Lives as long as the caller wants boxes answered.
class MessageBoxes : public QObject {
 public:
  struct Seen {
    QString title;
    QString text;
    QString reason;  // the second, smaller line
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  explicit MessageBoxes(std::function<void()> while_open = {});
  ~MessageBoxes() override;
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;

  [[nodiscard]] const std::vector<Seen>& All() const { return seen_; }
  // The texts alone, in the order the boxes showed.
  [[nodiscard]] std::vector<QString> Texts() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> while_open_;
  std::vector<Seen> seen_;
};

}  // namespace korvalen::test
