#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "panel/panel.h"
#include "recording_link.h"
#include "recording_view.h"

// The panel against a model of its own rules, driven by random operator actions and link faults.
// Each sequence runs on the panel with its recording fakes and on the model side by side; the first
// difference fails the sequence, which is then shrunk to the shortest that still fails.
namespace korvalen::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Calls = std::vector<std::string>;

enum class Act {
  kTypePort,    // the operator types into the port field
  kConnect,     // Command1
  kExit,        // Command2
  kFeedback,    // Command3
  kRunStop,     // Command4
  kTypeId,      // the operator types into the ID field
  kIdSlider,    // HScroll1
  kPosition,    // HScroll2, Change or Scroll
  kSpeed,       // HScroll3, Change or Scroll
  kRefuse,      // the next open or close fails; a failed close has closed all the same
  kGoInside,    // the device goes during the next clear, write or close, which says so
  kGo,          // the device goes between calls: the link closes and tells later
  kNotice,      // the link's notice of a loss arrives from its event loop
  kArrive,      // bytes arrive; the link raises a receive event once 7 or more wait
  kLineEvent,   // the link raises an event of its own
  kReplyInBox,  // a reply arrives while the next message box is open
  kCount
};
const char* const kActNames[] = {"type port", "Connect", "Exit",       "Feedback",
                                 "Stop/GO",   "type ID", "ID slider",  "position",
                                 "speed",     "refuse",  "go inside",  "go",
                                 "notice",    "arrive",  "line event", "reply in box"};

struct Step {
  Act act;
  int arg;  // picks among the act's choices
};

// The port field's texts and what they name: the port, -1 out of range, -2 not a number.
const std::pair<const char*, int> kPorts[] = {{"1", 1},    {"2.5", 2},  {"3.5", 4}, {" 7 ", 7},
                                              {"300", -1}, {"abc", -2}, {"", -2}};
// The ID field's texts and the ID they name, -1 for one that cannot be sent.
const std::pair<const char*, int> kIds[] = {{"5", 5},    {"127", 127}, {"0", 0},   {"2.5", 2},
                                            {"128", -1}, {"-1", -1},   {"abc", -1}};
const std::int16_t kPositions[] = {600, 1500, 1234, 2400};
const std::int16_t kSpeeds[] = {1, 50, 100};
const std::int16_t kIdValues[] = {0, 9, 127};
const char* const kRefusing[] = {"Open", "Close"};
const char* const kGoing[] = {"InBufferCount", "Output", "Close"};
const std::int16_t kEvents[] = {SerialLink::kEventReceive, SerialLink::kEventBreak,
                                SerialLink::kEventFrame, SerialLink::kEventOverrun};

Bytes Reply(int arg) {
  return {0x80,
          0x00,
          0x00,
          0x00,
          0x80,
          static_cast<std::uint8_t>(arg * 37),
          static_cast<std::uint8_t>(arg * 91 + 1)};
}

// A whole reply, its first 3 or last 4 bytes (together a reply), a stray byte, a reply and a stray.
Bytes Arrival(int arg) {
  const Bytes reply = Reply(arg);
  switch (arg % 5) {
    case 0:
      return reply;
    case 1:
      return {reply.begin(), reply.begin() + 3};
    case 2:
      return {reply.begin() + 3, reply.end()};
    case 3:
      return {0x55};
    default: {
      Bytes eight = reply;
      eight.push_back(0x55);
      return eight;
    }
  }
}

std::string Frame(int b1, int b2, int b3) {
  const Bytes frame = {0x80,
                       static_cast<std::uint8_t>(b1),
                       static_cast<std::uint8_t>(b2),
                       static_cast<std::uint8_t>(b3),
                       static_cast<std::uint8_t>(0x100 - (0x80 + b1 + b2 + b3) % 0x100),
                       0,
                       0};
  return "Output " + ToHex(frame);
}

enum class How { kRefuses, kGoes };

// The recording link, failing as the host's link does: a refused open opens nothing, a refused
// close has closed all the same, and a device that goes closes the link and is told of twice, by
// the call that met it and by a notice that comes later from the event loop.
struct FaultyLink : RecordingLink {
  void SetPortOpen(bool value) override {
    Fault(value ? "Open" : "Close", [&] { RecordingLink::SetPortOpen(value); });
  }
  void SetInBufferCount(int count) override {
    Fault("InBufferCount", [&] { RecordingLink::SetInBufferCount(count); });
  }
  void SetOutput(std::span<const std::uint8_t> bytes) override {
    Fault("Output", [&] { RecordingLink::SetOutput(bytes); });
  }
  void Fault(const std::string& op, const std::function<void()>& call) {
    const auto armed_fault = armed.find(op);
    if (armed_fault == armed.end()) {
      call();
      if (!open) waiting.clear();
      return;
    }
    const How how = armed_fault->second;
    armed.erase(armed_fault);
    if (how == How::kRefuses) failing = {op};
    try {
      call();
    } catch (const SerialError&) {
      failing.clear();
      waiting.clear();
      throw;
    }
    Go();
    throw SerialError("went away");
  }
  void Go() {
    open = false;
    waiting.clear();
    notice_pending = true;
  }

  std::map<std::string, How> armed;
  bool notice_pending = false;
};

// The panel's rules as plain state: what each procedure and each link event must do to the link,
// the fields and captions, the message boxes and FeedbackMode.
struct Model {
  // Whether a procedure that finds the link closed while the caption still says it is open tells
  // the operator at once (else the loss's notice is delivered before such a procedure runs).
  bool found_loss_is_told = true;

  bool open = false;
  bool shown_open = false;
  bool notice_pending = false;
  bool ended = false;
  bool lost_box_open = false;
  bool reply_in_box = false;
  int reply_arg = 0;
  int port_number = 0;
  int feedback = 0;
  int ends = 0;
  std::map<std::string, How> armed;
  Bytes waiting;
  Calls calls;
  Calls boxes;
  std::map<Control, std::string> shown = RecordingView().shown;
  std::map<Control, std::int16_t> values = RecordingView().values;
  bool marked = false;

  // Records a call on the link; true when it failed.
  bool Call(const std::string& call) {
    calls.push_back(call);
    const std::string op = call.substr(0, call.find(' '));
    const auto armed_fault = armed.find(op);
    const bool fails = armed_fault != armed.end();
    const bool goes = fails && armed_fault->second == How::kGoes;
    if (fails) armed.erase(armed_fault);
    if (op == "Open" && !fails) open = true;
    if (op == "Close" || goes) open = false;
    if (op == "InBufferCount" || !open) waiting.clear();
    notice_pending = notice_pending || goes;
    return fails;
  }

  void Box(const std::string& prompt) {
    boxes.push_back(prompt);
    // A modal box runs the event loop: a notice already queued comes first, then what arrives.
    Notice();
    if (reply_in_box) {
      reply_in_box = false;
      Arrive(Reply(reply_arg));
    }
  }

  void ShowLinkState() {
    shown_open = open;
    shown[Control::Command1] = open ? "NotConnect" : "Connect";
  }

  void Lost() {
    if (open) Call("Close");
    ShowLinkState();
    if (lost_box_open) return;
    lost_box_open = true;
    Box("Connect error!");
    lost_box_open = false;
  }

  // The link as the operator last saw it, told of a loss that its notice has not told yet.
  bool LinkOpen() {
    if (!open && shown_open && found_loss_is_told) Lost();
    return open;
  }

  void Connect() {
    const int port = Find(kPorts, shown[Control::Text6]).value_or(-2);
    if (port == -2) return Box("CommPort Numeric");
    if (port == -1) {
      ShowLinkState();
      return Box("Connect error!");
    }
    port_number = port;
    if (!open && shown_open && found_loss_is_told) return Lost();
    if (open) {
      const bool failed = Call("Close");
      ShowLinkState();
      if (failed) Box("Connect error!");
      return;
    }
    Call("CommPort " + std::to_string(port));
    Call("Settings 19200,N,8,2");
    if (Call("Open")) {
      ShowLinkState();
      return Box("Connect error!");
    }
    if (Call("InBufferCount 0")) {
      if (open) Call("Close");
      ShowLinkState();
      return Box("Connect error!");
    }
    feedback = 0;
    ShowLinkState();
  }

  void Exit() {
    const bool was_open = open;
    const bool failed = open ? Call("InBufferCount 0") || Call(Frame(0xEF, 0, 0)) || Call("Close")
                             : !open && shown_open && found_loss_is_told;
    if (failed) {
      if (was_open && open) Call("Close");
      ended = true;
      Box("Connect error!");
    }
    ended = true;
    ++ends;
  }

  void Send(const std::string& frame) {
    if (!LinkOpen()) return;
    if (Call("InBufferCount 0") || Call(frame)) Lost();
  }

  void Slider(Control slider, Control mirror, bool position) {
    const std::int16_t value = values[slider];
    shown[mirror] = std::to_string(value);
    // Only the ID slider writes texts beyond the table, and it writes good IDs.
    const std::string& text = shown[Control::Text1];
    const int id = Find(kIds, text).value_or(std::atoi(text.c_str()));
    marked = id < 0;
    feedback = 0;
    if (id < 0) return;
    Send(position ? Frame(id, value / 256, value % 256) : Frame(0xE9, id, value));
  }

  void Notice() {
    if (!notice_pending) return;
    notice_pending = false;
    if (!ended && shown_open) Lost();
  }

  void Arrive(const Bytes& bytes) {
    if (!open) return;
    waiting.insert(waiting.end(), bytes.begin(), bytes.end());
    if (waiting.size() >= 7) OnComm(SerialLink::kEventReceive);
  }

  void OnComm(std::int16_t event) {
    if (ended || !open || event != SerialLink::kEventReceive) return;
    Call("Input");
    const Bytes bytes = std::exchange(waiting, {});
    if (bytes.size() != 7 || feedback != 1) return;
    shown[Control::Text3] = " " + std::to_string(bytes[5]);
    shown[Control::Text4] = " " + std::to_string(bytes[6]);
  }

  template <std::size_t N>
  static std::optional<int> Find(const std::pair<const char*, int> (&table)[N],
                                 const std::string& text) {
    for (const auto& [entry, value] : table) {
      if (entry == text) return value;
    }
    return std::nullopt;
  }
};

// A procedure reads the link; the field and link events do not.
bool IsProcedure(Act act) {
  return act == Act::kConnect || act == Act::kExit || act == Act::kFeedback ||
         act == Act::kRunStop || act == Act::kPosition || act == Act::kSpeed;
}

// Runs the steps on the panel and on the model; the first difference, or nothing.
std::optional<std::string> Divergence(const std::vector<Step>& steps, bool found_loss_is_told) {
  RecordingView view;
  FaultyLink link;
  Panel panel(view, link);
  Model model;
  model.found_loss_is_told = found_loss_is_told;
  bool reply_in_box = false;
  int reply_arg = 0;

  const auto arrive = [&](const Bytes& bytes) {
    if (!link.open) return;
    link.waiting.insert(link.waiting.end(), bytes.begin(), bytes.end());
    link.event = SerialLink::kEventReceive;
    if (link.waiting.size() >= 7) link.on_comm();
  };
  const auto notice = [&] {
    if (!link.notice_pending) return;
    link.notice_pending = false;
    link.on_lost();
  };
  view.while_box_open = [&] {
    notice();
    if (reply_in_box) {
      reply_in_box = false;
      arrive(Reply(reply_arg));
    }
  };

  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto [act, arg] = steps[i];
    if (!found_loss_is_told && IsProcedure(act) && !link.open && model.shown_open) {
      notice();
      model.Notice();
    }
    switch (act) {
      case Act::kTypePort:
        view.shown[Control::Text6] = model.shown[Control::Text6] = kPorts[arg % 7].first;
        break;
      case Act::kConnect:
        panel.Command1_Click();
        if (!model.ended) model.Connect();
        break;
      case Act::kExit:
        panel.Command2_Click();
        if (!model.ended) model.Exit();
        break;
      case Act::kFeedback:
        panel.Command3_Click();
        if (model.ended) break;
        model.feedback = 1;
        model.Send(Frame(0xE8, 0, 0));
        break;
      case Act::kRunStop: {
        panel.Command4_Click();
        if (model.ended) break;
        const bool stop = model.shown[Control::Command4] == "Stop";
        model.shown[Control::Command4] = stop ? "GO" : "Stop";
        model.feedback = 0;
        model.Send(Frame(0xEB, 0, stop ? 0 : 1));
        break;
      }
      case Act::kTypeId:
        view.shown[Control::Text1] = model.shown[Control::Text1] = kIds[arg % 7].first;
        break;
      case Act::kIdSlider:
        view.values[Control::HScroll1] = model.values[Control::HScroll1] = kIdValues[arg % 3];
        panel.HScroll1_Change();
        if (model.ended) break;
        model.shown[Control::Text1] = std::to_string(kIdValues[arg % 3]);
        model.marked = false;
        break;
      case Act::kPosition:
        view.values[Control::HScroll2] = model.values[Control::HScroll2] = kPositions[arg % 4];
        arg % 2 == 0 ? panel.HScroll2_Change() : panel.HScroll2_Scroll();
        if (!model.ended) model.Slider(Control::HScroll2, Control::Text2, true);
        break;
      case Act::kSpeed:
        view.values[Control::HScroll3] = model.values[Control::HScroll3] = kSpeeds[arg % 3];
        arg % 2 == 0 ? panel.HScroll3_Change() : panel.HScroll3_Scroll();
        if (!model.ended) model.Slider(Control::HScroll3, Control::Text5, false);
        break;
      case Act::kRefuse:
        link.armed[kRefusing[arg % 2]] = model.armed[kRefusing[arg % 2]] = How::kRefuses;
        break;
      case Act::kGoInside:
        link.armed[kGoing[arg % 3]] = model.armed[kGoing[arg % 3]] = How::kGoes;
        break;
      case Act::kGo:
        if (!link.open) break;
        link.Go();
        model.open = false;
        model.waiting.clear();
        model.notice_pending = true;
        break;
      case Act::kNotice:
        notice();
        model.Notice();
        break;
      case Act::kArrive:
        arrive(Arrival(arg));
        model.Arrive(Arrival(arg));
        break;
      case Act::kLineEvent:
        if (link.open) {
          link.event = kEvents[arg % 4];
          link.on_comm();
        }
        model.OnComm(kEvents[arg % 4]);
        break;
      case Act::kReplyInBox:
        reply_in_box = model.reply_in_box = true;
        reply_arg = model.reply_arg = arg;
        break;
      case Act::kCount:
        break;
    }
    std::string diverged;
    const auto check = [&](bool same, const std::string& what) {
      if (!same && diverged.empty()) diverged = what;
    };
    check(link.calls == model.calls, "the calls on the link");
    Calls prompts;
    for (const std::string& message : view.messages) {
      prompts.push_back(message.substr(0, message.find('|')));
    }
    check(prompts == model.boxes, "the message boxes");
    check(view.shown == model.shown, "the fields and captions");
    check(view.marks[Control::Text1].empty() != model.marked, "the ID field's mark");
    check(view.ends == model.ends, "the end");
    check(link.open == model.open, "the link's state");
    check(panel.PortNumber() == model.port_number, "PortNumber");
    check(panel.FeedbackMode() == model.feedback, "FeedbackMode");
    if (!diverged.empty()) {
      std::string calls;
      for (const std::string& call : link.calls) calls += "\n    " + call;
      std::string boxes;
      for (const std::string& message : view.messages) boxes += "\n    " + message;
      return diverged + " after step " + std::to_string(i + 1) + "; the panel's calls:" + calls +
             "\n  its boxes:" + boxes;
    }
  }
  return std::nullopt;
}

std::vector<Step> RandomSteps(unsigned long seed) {
  std::mt19937 random(seed);
  std::vector<Step> steps(std::uniform_int_distribution<std::size_t>(1, 40)(random));
  for (Step& step : steps) {
    step = {static_cast<Act>(std::uniform_int_distribution<int>(0, int(Act::kCount) - 1)(random)),
            std::uniform_int_distribution<int>(0, 999)(random)};
  }
  return steps;
}

// Removes ever smaller runs of steps while the sequence still fails.
std::vector<Step> Shrink(std::vector<Step> steps, bool found_loss_is_told) {
  for (std::size_t run = steps.size() / 2; run >= 1; run /= 2) {
    for (std::size_t at = 0; at + run <= steps.size();) {
      std::vector<Step> shorter = steps;
      shorter.erase(shorter.begin() + at, shorter.begin() + at + run);
      if (Divergence(shorter, found_loss_is_told)) {
        steps = std::move(shorter);
      } else {
        at += run;
      }
    }
  }
  return steps;
}

std::string Describe(const std::vector<Step>& steps) {
  std::string text;
  for (const auto& [act, arg] : steps) {
    text += "\n  " + std::string(kActNames[static_cast<int>(act)]) + " " + std::to_string(arg);
  }
  return text;
}

// KORVALEN_MODEL_SEQUENCES runs more of them (the soak); the seeds are the same each run.
void RunSequences(bool found_loss_is_told) {
  const char* const count = std::getenv("KORVALEN_MODEL_SEQUENCES");
  const unsigned long sequences = count != nullptr ? std::strtoul(count, nullptr, 10) : 3000;
  for (unsigned long seed = 1; seed <= sequences; ++seed) {
    const std::vector<Step> steps = RandomSteps(seed);
    if (!Divergence(steps, found_loss_is_told)) continue;
    const std::vector<Step> shortest = Shrink(steps, found_loss_is_told);
    FAIL() << "seed " << seed << ", shrunk to " << shortest.size()
           << " steps:" << Describe(shortest) << "\n"
           << *Divergence(shortest, found_loss_is_told);
  }
}

TEST(PanelModel, RandomActionsAndLinkFaultsDoWhatTheModelDoes) {
  RunSequences(false);
}

// A loss whose notice has not come yet, found by the next procedure, is told to the operator by
// that procedure (Exit says "Connect error!" before the program ends).
TEST(PanelModel, DISABLED_ALossTheNextProcedureFindsIsToldByIt) {
  RunSequences(true);
}

}  // namespace
}  // namespace korvalen::testing
