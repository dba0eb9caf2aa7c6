#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <cstdio>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"
#include "sim/pseudo_terminal.h"

namespace {

using korvalen::frm_Korvalen;

template <typename T>
T& Control(const frm_Korvalen& window, const char* name) {
  return *window.findChild<T*>(QString::fromLatin1(name));
}

// The panel in use: connected to a device on a pseudo-terminal that answered one feedback request
// and not the next, the focus on the position slider and the unanswered reading's tooltip open.
QImage InUse() {
  const korvalen::sim::PseudoTerminal line;
  korvalen::HostSerialLink comm(line.Table());
  frm_Korvalen window(comm);
  window.move(0, 0);
  window.show();
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) return {};
  Control<QPushButton>(window, "Command1").click();
  Control<QPushButton>(window, "Command3").click();
  (void)line.Read(7, std::chrono::seconds(1));
  line.Write(std::vector<std::uint8_t>{0x80, 0x00, 0x00, 0x00, 0x80, 0x2A, 0x0C});
  auto& current = Control<QLineEdit>(window, "Text3");
  if (!QTest::qWaitFor([&current] { return current.text() == " 42"; })) return {};
  QTest::qWait(2000);  // the next request a moment later, as an operator would click it
  Control<QPushButton>(window, "Command3").click();
  if (!QTest::qWaitFor([&current] { return current.toolTip().startsWith("no reply"); })) return {};
  Control<QScrollBar>(window, "HScroll2").setFocus();
  QToolTip::showText(current.mapToGlobal(QPoint(current.width() / 2, current.height())),
                     current.toolTip(), &current);
  QApplication::processEvents();
  QRect area = window.geometry();
  QWidget* tip = nullptr;
  for (QWidget* const widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->inherits("QTipLabel")) tip = widget;
  }
  if (tip != nullptr) area |= tip->geometry();
  QImage shot(area.size() * window.devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
  shot.setDevicePixelRatio(window.devicePixelRatioF());
  shot.fill(Qt::transparent);
  QPainter painter(&shot);
  painter.drawPixmap(window.pos() - area.topLeft(), window.grab());
  if (tip != nullptr) painter.drawPixmap(tip->pos() - area.topLeft(), tip->grab());
  return shot;
}

}  // namespace

// Renders the panel for the documentation: as the operator first sees it into the first PNG named
// on the command line, the link naming no ports so nothing can be opened; and in use into the
// second, if one is named.
int main(int argc, char* argv[]) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: korvalen_screenshot OUTPUT.png [IN_USE.png]\n", stderr);
    return 2;
  }
  QApplication app(argc, argv);
  korvalen::HostSerialLink comm(korvalen::FixedPorts({}));
  {
    frm_Korvalen window(comm);
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
      std::fprintf(stderr, "korvalen_screenshot: cannot write %s\n", argv[1]);
      return 1;
    }
  }
  if (argc == 3 && !InUse().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "korvalen_screenshot: cannot render or write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
