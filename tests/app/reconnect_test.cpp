// The panel as main() wires it, with --reconnect and --log, on a port that goes away and comes
// back under the same name.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "app/panel_options.h"
#include "app/wired_panel.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/controls.h"

namespace korvalen {
namespace {

// The device's side of the port: a pseudo-terminal pair under a link name of its own, as udev names
// an adapter. Its hang-up takes the port and the name away, as an unplugged adapter does; a new
// pair under the same name brings it back.
class Device {
 public:
  explicit Device(QString link) : link_(std::move(link)) {}

  void Start() {
    pty_.emplace();
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty_->SlavePath()), link_));
  }
  void Stop() {
    QFile::remove(link_);
    pty_->HangUp();
  }
  void Write(const char* hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    pty_->Write(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
  // In hex, what it read until `count` bytes came or `ms` passed.
  QByteArray Read(std::size_t count, int ms = 2000) {
    const std::vector<std::uint8_t> got = pty_->Read(count, std::chrono::milliseconds(ms));
    return QByteArray(reinterpret_cast<const char*>(got.data()), static_cast<qsizetype>(got.size()))
        .toHex()
        .toUpper();
  }

 private:
  QString link_;
  std::optional<sim::PseudoTerminal> pty_;
};

TEST(Reconnect, TheSameLinkComesBackTheCaptionFollowsNothingIsSentAndTheLogMatchesTheLine) {
  const QTemporaryDir dir;
  const QString link = dir.filePath("port");
  const QString log = dir.filePath("traffic.log");
  Device device(link);
  device.Start();
  const CommandLine line = ParseCommandLine(
      kPanelProgram, {"korvalen", "--port", "1=" + link, "--reconnect", "--log", log});
  WiredPanel panel(line);
  frm_Korvalen& window = panel.Window();
  const auto caption = [&window] { return window.Caption(Control::Command1); };
  const auto reading = [&window] { return window.Text(Control::Text3); };
  const auto move = [&window] {
    QTest::keyClick(&test::Find<QScrollBar>(window, "HScroll2"), Qt::Key_Right);
  };

  test::Click(window, "Command1");
  test::Click(window, "Command3");
  EXPECT_EQ(device.Read(7), "80E80000980000");
  device.Write("80000000802A0C");
  EXPECT_TRUE(QTest::qWaitFor([&] { return reading() == " 42"; }, 2000));

  // The device goes, and comes back while the box about its loss is open.
  std::string caption_in_box;
  const test::MessageBoxes boxes([&] {
    caption_in_box = caption();
    device.Start();
    (void)QTest::qWaitFor([&] { return caption() == "NotConnect"; }, 5000);
  });
  device.Stop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.All().empty(); }, 5000));
  EXPECT_EQ(boxes.All()[0].reason,
            "the serial port went away; the panel reopens the port when it is back");
  EXPECT_EQ(caption_in_box, "Connect");
  EXPECT_EQ(caption(), "NotConnect");
  EXPECT_EQ(device.Read(1, 300), "") << "nothing is sent at the return";
  device.Write("80000000800102");  // FeedbackMode is 0 again: dropped
  QTest::qWait(200);
  EXPECT_EQ(reading(), " 42");

  // The operator acts first, and the frames reach the device.
  move();
  EXPECT_EQ(device.Read(7), "800005E6950000");
  test::Click(window, "Command3");
  EXPECT_EQ(device.Read(7), "80E80000980000");
  device.Write("80000000800304");
  EXPECT_TRUE(QTest::qWaitFor([&] { return reading() == " 3"; }, 2000));
  test::Find<QLineEdit>(window, "Text1").setText("200");
  move();
  test::Click(window, "Command1");
  EXPECT_EQ(device.Read(1, 300), "");

  // The log writes from the event loop; the disconnect is its last line.
  QString text;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        QFile file(log);
        text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        return text.endsWith(QStringLiteral("-- disconnect\n"));
      },
      5000))
      << text.toStdString();
  QStringList lines;
  const QRegularExpression event("^[0-9]+\\.[0-9]{3} (.*)$", QRegularExpression::MultilineOption);
  for (const auto& match : event.globalMatch(text)) lines += match.captured(1);
  // The device read what the log says went out, and sent what it says came in.
  EXPECT_EQ(lines.mid(1).join(u'\n'),
            QStringLiteral(
                "-- connect port 1 %1 19200,N,8,2 (named with --port)\n"
                "out 80 E8 00 00 98 00 00  feedback request\n"
                "in 80 00 00 00 80 2A 0C  reply current 42 voltage 12 (shown)\n"
                "-- port lost: %2\n"
                "-- reconnect port 1 %1 19200,N,8,2 (named with --port) (the device came back)\n"
                "in 80 00 00 00 80 01 02  reply current 1 voltage 2 (dropped: no "
                "feedback request pending)\n"
                "out 80 00 05 E6 95 00 00  position id 0 1510\n"
                "out 80 E8 00 00 98 00 00  feedback request\n"
                "in 80 00 00 00 80 03 04  reply current 3 voltage 4 (shown)\n"
                "-- refused: ID \"200\": The ID must be a number from 0 to 127; "
                "nothing was sent.\n"
                "-- disconnect")
                .arg(link, lines.value(4).mid(14)));
}

// A launcher shows no terminal: what the settings file or the log could not do is also told in a
// box, once, after the window shows.
TEST(PanelOptions, WhatCouldNotBeUsedIsToldInABoxOnceTheWindowShows) {
  const QTemporaryDir dir;
  CommandLine line = ParseCommandLine(
      kPanelProgram, {"korvalen", "--log", dir.filePath("no-such-folder/traffic.log")});
  line.problems = {"f line 1: lgo=x: unknown key; ignored",
                   "f line 2: [x]: unknown section; ignored"};
  HostSerialLink comm(FixedPorts({}));
  frm_Korvalen window(comm);
  const test::MessageBoxes boxes;
  const PanelOptions options(line, window, comm, FixedPorts({}));
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.All().size() == 2; }, 5000));
  EXPECT_EQ(boxes.All()[0].text, "Settings error!");
  EXPECT_EQ(boxes.All()[0].reason,
            QString::fromStdString(line.problems[0] + "\n" + line.problems[1]));
  EXPECT_EQ(boxes.All()[1].text, "Log error!");
  EXPECT_TRUE(
      boxes.All()[1].reason.startsWith("cannot open the log " + dir.filePath("no-such-folder")))
      << boxes.All()[1].reason.toStdString();
}

}  // namespace
}  // namespace korvalen
