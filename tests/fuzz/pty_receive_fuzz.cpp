// Random bytes in random chunks, with random pauses, written to a real pseudo-terminal whose
// other side the panel holds through the real link: no byte is lost or read twice, a reading is
// shown only for a read of exactly seven bytes, and never more than one reading per event.
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "panel/panel.h"
#include "reading_view.h"
#include "serial/host_serial_link.h"
#include "tests/serial/pty_pair.h"

namespace {

using korvalen::Control;
using korvalen::SerialLink;
using korvalen::testing::ExpectedReading;
using korvalen::testing::ReadingView;
using korvalen::testing::Require;

// Passes every call to the real link and remembers the size of each read.
class ObservedLink : public SerialLink {
 public:
  explicit ObservedLink(SerialLink& link) : link_(link) {}
  void SetCommPort(std::int16_t port) override { link_.SetCommPort(port); }
  void SetSettings(const std::string& settings) override { link_.SetSettings(settings); }
  [[nodiscard]] bool PortOpen() const override { return link_.PortOpen(); }
  void SetPortOpen(bool open) override { link_.SetPortOpen(open); }
  void SetInBufferCount(int count) override { link_.SetInBufferCount(count); }
  void SetOutput(std::span<const std::uint8_t> bytes) override { link_.SetOutput(bytes); }
  [[nodiscard]] std::int16_t CommEvent() const override { return link_.CommEvent(); }
  [[nodiscard]] std::vector<std::uint8_t> Input() override {
    std::vector<std::uint8_t> bytes = link_.Input();
    reads.push_back(bytes);
    return bytes;
  }
  void SetOnComm(std::function<void()> handler) override { link_.SetOnComm(std::move(handler)); }
  void SetOnPortLost(std::function<void()> handler) override {
    link_.SetOnPortLost(std::move(handler));
  }

  std::vector<std::vector<std::uint8_t>> reads;

 private:
  SerialLink& link_;
};

struct Rig {
  Rig() {
    korvalen::test::EnsureApplication();
    view.SetText(Control::Text6, "1");
    panel.Command1_Click();
    Require(host.PortOpen());
    panel.Command3_Click();  // replies are shown from here on
  }
  korvalen::test::PtyPair pty;
  korvalen::HostSerialLink host{pty.Table()};
  ObservedLink link{host};
  ReadingView view;
  korvalen::Panel panel{view, link};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = new Rig;  // one line for the whole run; opening a port per input is slow
  if (size > 512) return 0;
  rig->link.reads.clear();
  rig->view.ResetCounts();

  std::size_t written = 0;
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t op = data[i++];
    const std::size_t length = std::min<std::size_t>(op % 16, size - i);
    rig->pty.Write({data + i, data + i + length});
    written += length;
    i += length;
    if (op & 0x80) korvalen::test::PumpFor(std::chrono::milliseconds(1));
  }
  // Let every event that can come, come.
  korvalen::test::PumpFor(std::chrono::milliseconds(5));
  korvalen::test::PumpUntil([] { return false; }, std::chrono::milliseconds(2));

  std::size_t read = 0;
  std::size_t sevens = 0;
  for (const auto& bytes : rig->link.reads) {
    Require(bytes.size() >= 7);  // the event comes only once seven bytes wait
    read += bytes.size();
    if (bytes.size() == 7) ++sevens;
  }
  Require(rig->view.current_writes == static_cast<int>(sevens));
  Require(rig->view.voltage_writes == static_cast<int>(sevens));
  if (sevens > 0) {
    const std::vector<std::uint8_t>* last = nullptr;
    for (const auto& bytes : rig->link.reads) {
      if (bytes.size() == 7) last = &bytes;
    }
    Require(rig->view.Text(Control::Text3) == ExpectedReading((*last)[5]));
    Require(rig->view.Text(Control::Text4) == ExpectedReading((*last)[6]));
  }
  // What no event took is still waiting, fewer than seven bytes of it; nothing is lost.
  const std::vector<std::uint8_t> rest = rig->host.Input();
  Require(rest.size() < 7);
  Require(read + rest.size() == written);
  return 0;
}
