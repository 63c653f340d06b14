#include "CommandConsole.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "console/CommandList.h"
#include "console/ConsoleFiles.h"
#include "console/ConsoleLog.h"
#include "console/ConsoleReader.h"
#include "link/Protocol.h"
#include "link/SerialPort.h"

namespace quarn::console {

namespace {

constexpr int kListColumns = 3;
// How often the GUI thread takes what the reader has posted.
constexpr int kReportIntervalMs = 50;

// The command list shows its entries in kListColumns columns filled top to bottom, as wide as the list.
class ColumnList : public QListWidget {
 public:
  using QListWidget::QListWidget;

  // Tall enough for the built-in list to fit its three columns.
  void FitRows(int rows) {
    setMinimumHeight(rows * RowHeight() + 2 * frameWidth() + horizontalScrollBar()->sizeHint().height());
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QListWidget::resizeEvent(event);
    setGridSize(QSize(std::max(1, viewport()->width() / kListColumns), RowHeight()));
  }

 private:
  int RowHeight() const { return fontMetrics().height() + 4; }
};

}  // namespace

CommandConsole::CommandConsole(base::MessageBoxes& boxes, QWidget* owner) : QDialog(owner), boxes_(boxes) {
  setObjectName("FormCMD");
  setWindowTitle("Send Command");
  BuildControls();
  SetCommandList(BuiltInCommands());
  AppendLog("Sending:");
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kMinWidth, kMinHeight);

  reportTimer_ = new QTimer(this);
  reportTimer_->setInterval(kReportIntervalMs);
  connect(reportTimer_, &QTimer::timeout, this, &CommandConsole::TakeReports);
}

CommandConsole::~CommandConsole() { StopReaderAndClosePort(); }

void CommandConsole::BuildControls() {
  auto* commandTitle = new QLabel("Command", this);
  commandEdit_ = new QLineEdit(this);
  commandEdit_->setObjectName("eCMD");
  commandTitle->setBuddy(commandEdit_);
  crLabel_ = new QLabel("x0D", this);
  addressPrefixBox_ = new QCheckBox("#00", this);
  addressPrefixBox_->setObjectName("CheckBox1");
  addressPrefixBox_->setChecked(true);
  sendButton_ = new QPushButton("Send", this);
  sendButton_->setObjectName("bSend");
  sendButton_->setDefault(true);
  connect(sendButton_, &QPushButton::clicked, this, &CommandConsole::SendClicked);

  auto* entryRow = new QHBoxLayout;
  entryRow->addWidget(commandEdit_, 1);
  entryRow->addWidget(crLabel_);
  entryRow->addSpacing(12);
  entryRow->addWidget(addressPrefixBox_);
  entryRow->addSpacing(12);
  entryRow->addWidget(sendButton_);

  auto* modeBox = new QGroupBox("Display mode", this);
  modeBox->setObjectName("RG1");
  modeGroup_ = new QButtonGroup(modeBox);
  auto* modeRow = new QHBoxLayout(modeBox);
  const char* modeNames[] = {"ASCII", "HEX", "ASCII/HEX"};
  for (int id = 0; id < 3; ++id) {
    auto* button = new QRadioButton(modeNames[id], modeBox);
    modeGroup_->addButton(button, id);
    modeRow->addWidget(button);
  }
  modeRow->addStretch(1);
  modeGroup_->button(static_cast<int>(DisplayMode::Ascii))->setChecked(true);
  connect(modeGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) channel_.SetMode(static_cast<DisplayMode>(id));
  });

  auto* listTitle = new QLabel("Command list", this);
  auto* list = new ColumnList(this);
  list->FitRows((static_cast<int>(BuiltInCommands().size()) + kListColumns - 1) / kListColumns);
  commandList_ = list;
  commandList_->setObjectName("LBComand");
  commandList_->setFlow(QListView::TopToBottom);
  commandList_->setWrapping(true);
  commandList_->setResizeMode(QListView::Adjust);
  commandList_->setUniformItemSizes(true);
  listTitle->setBuddy(commandList_);
  connect(commandList_, &QListWidget::itemClicked, this, &CommandConsole::CommandListClicked);
  connect(commandList_, &QListWidget::currentRowChanged, this, &CommandConsole::CommandListClicked);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName("Memo1");
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  log_->setFont(fixed);

  saveLogButton_ = new QPushButton("Save logs", this);
  saveLogButton_->setObjectName("BitBtn1");
  saveLogButton_->setAutoDefault(false);
  connect(saveLogButton_, &QPushButton::clicked, this, &CommandConsole::SaveLogClicked);
  closeButton_ = new QPushButton("Close", this);
  closeButton_->setObjectName("bClose");
  closeButton_->setAutoDefault(false);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(saveLogButton_);
  buttonRow->addStretch(1);
  buttonRow->addWidget(closeButton_);

  auto* top = new QVBoxLayout(this);
  top->addWidget(commandTitle);
  top->addLayout(entryRow);
  top->addWidget(modeBox);
  top->addWidget(listTitle);
  top->addWidget(commandList_);
  top->addWidget(log_, 1);
  top->addLayout(buttonRow);

  saveDialog_ = new QFileDialog(this, "Save protocol");
  saveDialog_->setObjectName("SaveDialog1");
  saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
  saveDialog_->setFileMode(QFileDialog::AnyFile);
  saveDialog_->setDefaultSuffix("txt");
  saveDialog_->setNameFilter("Text files (*.txt)");
  saveDialog_->setOption(QFileDialog::DontConfirmOverwrite);
  saveDialog_->selectFile("CommandsLog");
}

void CommandConsole::SetCommandList(const std::vector<std::string>& entries) {
  const QSignalBlocker quiet(commandList_);
  commandList_->clear();
  for (const std::string& entry : entries) commandList_->addItem(QString::fromStdString(entry));
}

void CommandConsole::AppendLog(const std::string& utf8Line) {
  log_->appendPlainText(QString::fromStdString(VisibleLine(utf8Line)));
}

void CommandConsole::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  KeepOuterMinimum();
  if (shown_) return;
  shown_ = true;
  if (!OpenPortOnShow()) QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

bool CommandConsole::OpenPortOnShow() {
  const std::string listFile = programFolder + "commands.ini";
  if (base::ExistsOrUnreadable(listFile)) {
    try {
      SetCommandList(ReadCommandFile(listFile));
    } catch (const base::FileError& error) {
      boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, error.what());
      return false;
    }
  } else {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "List of commands not found (commands.ini)");
  }

  try {
    port_ = link::OpenPort("COM" + portNumber, link::kEventRxChar);
  } catch (const link::PortError&) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port" + portNumber);
    return true;
  }
  // A run that has just ended may still have a frame on its way: it is no reply to what the user sends.
  if (!link::QuietLine(port_)) AppendLog(link::kLineNotQuiet);
  reader_ = std::make_unique<ConsoleReader>(port_, channel_);
  reader_->Start();
  reportTimer_->start();
  return true;
}

void CommandConsole::SendClicked() {
  const std::string text = commandEdit_->text().toStdString();
  if (text.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "Input the command");
    return;
  }
  const std::string command = addressPrefixBox_->isChecked() ? "#00" + text : text;
  std::string line;
  if (!link::CommandLineBytes(command, line)) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                "The command is too long: a command line carries at most " + std::to_string(link::kMaxCommandLength) +
                    " characters");
    return;
  }
  AppendLog("> " + command);
  try {
    if (!port_) throw link::PortError("no port");
    link::WritePort(port_, command);
  } catch (const link::PortError&) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port");
  }
}

void CommandConsole::CommandListClicked() {
  const QListWidgetItem* item = commandList_->currentItem();
  if (!item || !item->isSelected()) return;
  if (item->text().toStdString() == kSeparator) return;
  commandEdit_->setText(item->text());
}

void CommandConsole::SaveLogClicked() {
  if (saveDialog_->exec() != QDialog::Accepted) return;
  const QStringList chosen = saveDialog_->selectedFiles();
  if (chosen.isEmpty()) return;
  std::vector<std::string> logLines;
  if (!log_->document()->isEmpty()) {
    for (const QString& line : log_->toPlainText().split('\n')) logLines.push_back(line.toStdString());
  }
  try {
    WriteLines(chosen.first().toStdString(), SavedLogLines({portNumber, serialNumber, firmware}, logLines));
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, error.what());
    return;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, "Log is save!");
}

void CommandConsole::TakeReports() {
  // A box runs its own event loop, in which this timer fires again: what came after the box, the next box
  // included, waits until it is closed.
  if (showingBox_) return;
  while (std::optional<ReaderReport> report = channel_.Take()) {
    if (const auto* lines = std::get_if<LogLines>(&*report)) {
      for (const std::string& line : lines->lines) AppendLog(line);
    } else {
      const auto& box = std::get<ReaderBox>(*report);
      showingBox_ = true;
      boxes_.Show(box.kind, base::BoxButtons::Ok, box.text);
      showingBox_ = false;
    }
  }
}

void CommandConsole::done(int result) {
  StopReaderAndClosePort();
  QDialog::done(result);
}

void CommandConsole::StopReaderAndClosePort() {
  if (reportTimer_) reportTimer_->stop();
  if (reader_) {
    reader_->RequestStop();
    reader_->Join();
    reader_.reset();
  }
  if (port_) {
    port_->Close();
    port_.reset();
  }
}

void CommandConsole::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  KeepOuterMinimum();
}

void CommandConsole::KeepOuterMinimum() {
  // The limit is on the outer size; the window frame is known only once the window is on screen.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize inner(kMinWidth - std::max(0, frame.width()), kMinHeight - std::max(0, frame.height()));
  if (minimumSize() != inner) setMinimumSize(inner);
}

}  // namespace quarn::console
