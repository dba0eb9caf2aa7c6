#include "app/demo/simulator_window.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <memory>
#include <span>

namespace korvalen {
namespace {

using sim::FaultMode;

struct FaultChoice {
  FaultMode mode;
  const char* name;
  const char* what;
};

// One choice per mode, in the order the modes are declared.
constexpr auto kFaultChoices = std::to_array<FaultChoice>({
    {FaultMode::kNone, "Answer normally", "One 7-byte reply at once."},
    {FaultMode::kNoReply, "No reply", "Feedback requests are taken but never answered."},
    {FaultMode::kDelayedReply, "Delayed reply", "The reply comes after a pause."},
    {FaultMode::kSplitReply, "Split reply", "The reply comes in two pieces with a pause between."},
    {FaultMode::kStrayByte, "Stray byte", "One extra byte follows the reply, so 8 bytes wait."},
    {FaultMode::kWrongCheckByte, "Wrong check byte", "The reply's check byte is off by one."},
    {FaultMode::kGarbageBurst, "Garbage burst", "A burst of noise, then the reply."},
    {FaultMode::kHangUp, "Hang up",
     "The line closes instead of answering; restart the demo to connect again."},
});
static_assert(kFaultChoices.size() == sim::kFaultModeCount, "a choice per fault mode");

// Motion is shown at a pace the eye can follow; anything faster only costs work.
constexpr int kMotionRefreshMs = 200;

QString Hex(std::span<const std::uint8_t> bytes) {
  return QString::fromStdString(ToHex(bytes));
}

QString FrameRow(const sim::ReceivedFrame& frame) {
  return Hex(frame.bytes) + QStringLiteral("   ") + QString::fromStdString(Describe(frame.command));
}

bool AddressesAnAxis(const Command& command) {
  return command.kind == Command::Kind::kPosition || command.kind == Command::Kind::kSpeed;
}

QLabel* MakeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QComboBox* MakeFaultChoice(QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QStringLiteral("FaultMode"));
  for (const FaultChoice& choice : kFaultChoices) {
    combo->addItem(QString::fromLatin1(choice.name), static_cast<int>(choice.mode));
    combo->setItemData(combo->count() - 1, QString::fromLatin1(choice.what), Qt::ToolTipRole);
  }
  return combo;
}

QTableWidget* MakeAxes(QWidget* parent) {
  auto* table = new QTableWidget(0, 4, parent);
  table->setObjectName(QStringLiteral("Axes"));
  table->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Set-point"),
                                    QStringLiteral("Speed"), QStringLiteral("Position")});
  table->verticalHeader()->hide();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setMaximumHeight(140);
  return table;
}

QListWidget* MakeFrames(QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QStringLiteral("Frames"));
  list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  list->setSelectionMode(QAbstractItemView::NoSelection);
  return list;
}

void SetCell(QTableWidget& table, int row, int column, int value) {
  const QString text = QString::number(value);
  if (QTableWidgetItem* const item = table.item(row, column)) {
    if (item->text() != text) item->setText(text);
    return;
  }
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  table.setItem(row, column, item);  // the table owns it
}

}  // namespace

SimulatorWindow::SimulatorWindow(sim::SimulatedDevice& device, QWidget* parent)
    : QWidget(parent),
      device_(device),
      line_(MakeLabel(this, "Line")),
      state_(MakeLabel(this, "State")),
      fault_mode_(MakeFaultChoice(this)),
      replies_(MakeLabel(this, "Replies")),
      last_reply_(MakeLabel(this, "LastReply")),
      rejected_(MakeLabel(this, "Rejected")),
      axes_(MakeAxes(this)),
      frames_(MakeFrames(this)),
      motion_(new QTimer(this)) {
  setObjectName(QStringLiteral("SimulatorWindow"));
  setWindowTitle(QStringLiteral("Simulated device"));
  last_reply_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  last_reply_->setText(QStringLiteral("none yet"));
  motion_->setInterval(kMotionRefreshMs);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Line:"), line_);
  form->addRow(QStringLiteral("State:"), state_);
  form->addRow(QStringLiteral("Fault:"), fault_mode_);
  form->addRow(QStringLiteral("Replies sent:"), replies_);
  form->addRow(QStringLiteral("Last reply:"), last_reply_);
  form->addRow(QStringLiteral("Rejected frames:"), rejected_);
  auto* layout = new QVBoxLayout(this);  // installs itself on this window, which owns it
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("Axes:"), this));
  layout->addWidget(axes_);
  layout->addWidget(new QLabel(QStringLiteral("Frames received, newest first:"), this));
  layout->addWidget(frames_, 1);

  // Frames that came before this window existed are shown as well.
  for (const sim::ReceivedFrame& frame : device_.History()) {
    frames_->addItem(FrameRow(frame));
    if (AddressesAnAxis(frame.command)) addressed_.insert(frame.command.id);
  }
  Wire();
  ShowState();
  ShowAxes();
  ShowCounts();
  resize(420, 480);
}

void SimulatorWindow::Wire() {
  connect(&device_, &sim::SimulatedDevice::FrameReceived, this, &SimulatorWindow::AddFrame);
  connect(&device_, &sim::SimulatedDevice::FrameRejected, this, &SimulatorWindow::ShowCounts);
  connect(&device_, &sim::SimulatedDevice::ReplySent, this, &SimulatorWindow::ShowReply);
  connect(&device_, &sim::SimulatedDevice::StateChanged, this, [this] {
    ShowState();
    ShowAxes();
    ShowCounts();
  });
  connect(fault_mode_, &QComboBox::currentIndexChanged, this, &SimulatorWindow::ChooseFaultMode);
  connect(motion_, &QTimer::timeout, this, [this] {
    ShowState();
    ShowAxes();
  });
}

void SimulatorWindow::AddFrame() {
  // The device has put the frame at the head of its history before telling anyone.
  const sim::ReceivedFrame& frame = device_.History().front();
  frames_->insertItem(0, FrameRow(frame));
  while (frames_->count() > static_cast<int>(sim::SimulatedDevice::kHistorySize)) {
    std::unique_ptr<QListWidgetItem> oldest(frames_->takeItem(frames_->count() - 1));
  }
  if (AddressesAnAxis(frame.command)) addressed_.insert(frame.command.id);
}

void SimulatorWindow::ShowState() {
  sim::DeviceModel& model = device_.Model();
  const bool moving = device_.Open() && model.AnyMoving();
  if (!device_.Open()) {
    state_->setText(QStringLiteral("Hung up: the line is closed"));
  } else if (model.ShutDown()) {
    state_->setText(QStringLiteral("Shut down"));
  } else if (model.Running()) {
    state_->setText(moving ? QStringLiteral("Running, moving") : QStringLiteral("Running"));
  } else {
    state_->setText(QStringLiteral("Stopped"));
  }
  if (moving) {
    if (!motion_->isActive()) motion_->start();
  } else {
    motion_->stop();
  }

  // The settings are those the panel last put on its end of the line.
  QString line = QString::fromStdString(device_.SlavePath());
  if (device_.Open() && !device_.History().empty()) {
    line += QStringLiteral("  ") + QString::fromStdString(device_.LineSettings());
  }
  line_->setText(line);

  const QSignalBlocker quiet(fault_mode_);
  fault_mode_->setCurrentIndex(fault_mode_->findData(static_cast<int>(device_.Mode())));
  fault_mode_->setEnabled(device_.Open());
}

void SimulatorWindow::ShowAxes() {
  axes_->setRowCount(static_cast<int>(addressed_.size()));
  int row = 0;
  for (const int id : addressed_) {
    const sim::Axis& axis = device_.Model().AxisNow(id);
    SetCell(*axes_, row, 0, id);
    SetCell(*axes_, row, 1, axis.set_point);
    SetCell(*axes_, row, 2, axis.speed);
    SetCell(*axes_, row, 3, axis.Position());
    ++row;
  }
}

void SimulatorWindow::ShowCounts() {
  replies_->setText(QString::number(device_.RepliesSent()));
  rejected_->setText(QStringLiteral("%1 (%2 bytes skipped)")
                         .arg(device_.RejectedFrames())
                         .arg(device_.SkippedBytes()));
}

void SimulatorWindow::ShowReply(const QByteArray& reply) {
  last_reply_->setText(Hex({reinterpret_cast<const std::uint8_t*>(reply.constData()),
                            static_cast<std::size_t>(reply.size())}));
  ShowCounts();
}

void SimulatorWindow::ChooseFaultMode(int index) {
  if (index < 0) return;
  device_.SetFaultMode(static_cast<FaultMode>(fault_mode_->itemData(index).toInt()));
}

}  // namespace korvalen
