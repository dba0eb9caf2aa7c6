// The panel as main() wires it, with --reconnect and --log, on a port that socat makes under a link
// name: socat ending takes the port away, as an unplugged adapter does, and a new socat brings it
// back under the same name.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/command_line.h"
#include "app/panel_options.h"
#include "serial/port_mapping.h"
#include "tests/support/controls.h"

namespace korvalen {
namespace {

using test::Find;

// The device's side: what socat hands on from the port and what it is given to send back.
class SocatDevice {
 public:
  explicit SocatDevice(QString link) : link_(std::move(link)) {}
  ~SocatDevice() { Stop(); }
  SocatDevice(const SocatDevice&) = delete;
  SocatDevice& operator=(const SocatDevice&) = delete;

  // Comes back as a new pseudo-terminal under the same name.
  void Start() {
    socat_ = std::make_unique<QProcess>();
    QObject::connect(socat_.get(), &QProcess::readyReadStandardOutput, socat_.get(),
                     [this] { read_ += socat_->readAllStandardOutput(); });
    socat_->start(QStringLiteral(KORVALEN_SOCAT),
                  {QStringLiteral("pty,raw,echo=0,link=") + link_, QStringLiteral("-")});
    ASSERT_TRUE(QTest::qWaitFor([this] { return QFileInfo::exists(link_); }, 5000));
  }
  // Goes the way an unplugged adapter does: the port hangs up and its name is gone.
  void Stop() {
    if (!socat_) return;
    socat_->terminate();
    socat_->waitForFinished(5000);
    socat_.reset();
  }
  void Write(const QByteArray& bytes) { socat_->write(bytes); }
  // Everything it read so far, taken.
  [[nodiscard]] QByteArray Take(qsizetype count, int limit_ms = 2000) {
    (void)QTest::qWaitFor([&] { return read_.size() >= count; }, limit_ms);
    return std::exchange(read_, {});
  }
  [[nodiscard]] const QByteArray& AllRead() const { return all_; }

 private:
  QString link_;
  std::unique_ptr<QProcess> socat_;
  QByteArray read_;
  QByteArray all_;
};

struct Program {
  explicit Program(const QStringList& options)
      : line(ParseCommandLine(kPanelProgram, QStringList{QStringLiteral("korvalen")} + options)),
        ports(WithMappedPorts(line.ports, HostPorts())),
        comm(ports),
        window(comm),
        panel_options(line, window, comm, ports) {}

  void Click(const char* button) {
    QTest::mouseClick(&Find<QPushButton>(window, button), Qt::LeftButton);
  }
  [[nodiscard]] std::string Caption() const { return window.Caption(Control::Command1); }

  CommandLine line;
  PortSource ports;
  HostSerialLink comm;
  frm_Korvalen window;
  PanelOptions panel_options;
};

QByteArray Hex(const char* hex) {
  return QByteArray::fromHex(hex);
}

// The bytes of the log's lines in one direction, in order: what the log says went out or came in.
QByteArray Logged(const QString& path, const char* direction) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QRegularExpression line(QStringLiteral("^\\d+\\.\\d{3} %1 +((?:[0-9A-F]{2} ?){7})  ")
                                    .arg(QString::fromLatin1(direction)),
                                QRegularExpression::MultilineOption);
  QByteArray bytes;
  for (const QRegularExpressionMatch& match : line.globalMatch(QString::fromUtf8(file.readAll()))) {
    bytes += QByteArray::fromHex(match.captured(1).toLatin1());
  }
  return bytes;
}

TEST(Reconnect, TheSameLinkComesBackAndThePanelReopensItSendingNothingAndTheLogMatchesTheLine) {
  const QTemporaryDir dir;
  const QString link = dir.filePath(QStringLiteral("port"));
  const QString log = dir.filePath(QStringLiteral("traffic.log"));
  SocatDevice device(link);
  device.Start();
  Program program({"--port", "1=" + link, "--reconnect", "--log", log});
  QByteArray sent;      // every byte the device read, across both of its lives
  QByteArray answered;  // every byte it sent back

  program.Click("Command1");
  ASSERT_EQ(program.Caption(), "NotConnect");
  program.Click("Command3");
  sent += device.Take(7);
  device.Write(Hex("80000000802A0C"));
  answered += Hex("80000000802A0C");
  EXPECT_TRUE(QTest::qWaitFor([&] { return program.window.Text(Control::Text3) == " 42"; }, 2000));

  // The device goes, and comes back while the box about its loss is open.
  std::string caption_in_box;
  bool reopened_in_box = false;
  const test::MessageBoxes boxes([&] {
    caption_in_box = program.Caption();
    device.Start();
    reopened_in_box = QTest::qWaitFor([&] { return program.Caption() == "NotConnect"; }, 5000);
  });
  device.Stop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.All().empty(); }, 5000));
  EXPECT_EQ(caption_in_box, "Connect");
  EXPECT_TRUE(reopened_in_box);
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{QStringLiteral("Connect error!")});
  EXPECT_TRUE(program.comm.PortOpen());
  EXPECT_EQ(program.window.State().FeedbackMode(), 0);
  EXPECT_EQ(device.Take(1, 300), QByteArray()) << "nothing is sent at the return";

  // The operator acts first, and the frames reach the device.
  QTest::keyClick(&Find<QScrollBar>(program.window, "HScroll2"), Qt::Key_Right);
  const QByteArray position = device.Take(7);
  EXPECT_EQ(position, Hex("800005E6950000"));
  sent += position;
  program.Click("Command3");
  sent += device.Take(7);
  device.Write(Hex("80000000800102"));
  answered += Hex("80000000800102");
  EXPECT_TRUE(QTest::qWaitFor([&] { return program.window.Text(Control::Text4) == " 2"; }, 2000));

  QTest::qWait(50);  // the log writes from the event loop
  EXPECT_EQ(Logged(log, "out").toHex(' '), sent.toHex(' '));
  EXPECT_EQ(Logged(log, "in ").toHex(' '), answered.toHex(' '));
  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  for (const QString& event :
       {"connect port 1 " + link + " 19200,N,8,2", QStringLiteral("port lost: "),
        "reconnect port 1 " + link + " 19200,N,8,2 (the device came back)"}) {
    EXPECT_TRUE(text.contains(event)) << event.toStdString() << "\n" << text.toStdString();
  }
}

}  // namespace
}  // namespace korvalen
