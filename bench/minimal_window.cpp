// The smallest Qt Widgets program with a window and one button: what the panel's start-up time and
// memory are held against.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Minimal"));
  window.setFixedSize(200, 100);
  auto* const button = new QPushButton(QStringLiteral("Button"), &window);
  button->setGeometry(50, 35, 100, 30);
  window.show();
  return QApplication::exec();
}
