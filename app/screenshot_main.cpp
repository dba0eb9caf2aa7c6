#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "panel/frm_korvalen.h"
#include "serial/host_serial_link.h"

// Renders the panel as the operator first sees it into the PNG named on the command line, for
// the documentation. The link names no ports, so nothing can be opened.
int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("usage: korvalen_screenshot OUTPUT.png\n", stderr);
    return 2;
  }
  QApplication app(argc, argv);
  korvalen::HostSerialLink comm(korvalen::FixedPorts({}));
  korvalen::frm_Korvalen window(comm);
  window.show();
  QApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "korvalen_screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
