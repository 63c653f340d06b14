#include "TFormCMD.h"

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
#include "console/THReadCMD.h"
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

TFormCMD::TFormCMD(MessageBoxes& boxes, QWidget* owner) : QDialog(owner), boxes_(boxes) {
  setObjectName("FormCMD");
  setWindowTitle("Send Command");
  BuildControls();
  SetCommandList(BuiltInCommands());
  AppendLog("Sending:");
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kMinWidth, kMinHeight);

  reportTimer_ = new QTimer(this);
  reportTimer_->setInterval(kReportIntervalMs);
  connect(reportTimer_, &QTimer::timeout, this, &TFormCMD::TakeReports);
}

TFormCMD::~TFormCMD() { StopReaderAndClosePort(); }

void TFormCMD::BuildControls() {
  auto* commandTitle = new QLabel("Command", this);
  eCMD = new QLineEdit(this);
  eCMD->setObjectName("eCMD");
  commandTitle->setBuddy(eCMD);
  lCR = new QLabel("x0D", this);
  CheckBox1 = new QCheckBox("#00", this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setChecked(true);
  bSend = new QPushButton("Send", this);
  bSend->setObjectName("bSend");
  bSend->setDefault(true);
  connect(bSend, &QPushButton::clicked, this, &TFormCMD::bSendClick);

  auto* entryRow = new QHBoxLayout;
  entryRow->addWidget(eCMD, 1);
  entryRow->addWidget(lCR);
  entryRow->addSpacing(12);
  entryRow->addWidget(CheckBox1);
  entryRow->addSpacing(12);
  entryRow->addWidget(bSend);

  auto* modeBox = new QGroupBox("Display mode", this);
  modeBox->setObjectName("RG1");
  RG1 = new QButtonGroup(modeBox);
  auto* modeRow = new QHBoxLayout(modeBox);
  const char* modeNames[] = {"ASCII", "HEX", "ASCII/HEX"};
  for (int id = 0; id < 3; ++id) {
    auto* button = new QRadioButton(modeNames[id], modeBox);
    RG1->addButton(button, id);
    modeRow->addWidget(button);
  }
  modeRow->addStretch(1);
  RG1->button(static_cast<int>(DisplayMode::Ascii))->setChecked(true);
  connect(RG1, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) channel_.SetMode(static_cast<DisplayMode>(id));
  });

  auto* listTitle = new QLabel("Command list", this);
  auto* list = new ColumnList(this);
  list->FitRows((static_cast<int>(BuiltInCommands().size()) + kListColumns - 1) / kListColumns);
  LBComand = list;
  LBComand->setObjectName("LBComand");
  LBComand->setFlow(QListView::TopToBottom);
  LBComand->setWrapping(true);
  LBComand->setResizeMode(QListView::Adjust);
  LBComand->setUniformItemSizes(true);
  listTitle->setBuddy(LBComand);
  connect(LBComand, &QListWidget::itemClicked, this, &TFormCMD::LBComandClick);
  connect(LBComand, &QListWidget::currentRowChanged, this, &TFormCMD::LBComandClick);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  Memo1->setFont(fixed);

  BitBtn1 = new QPushButton("Save logs", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setAutoDefault(false);
  connect(BitBtn1, &QPushButton::clicked, this, &TFormCMD::BitBtn1Click);
  bClose = new QPushButton("Close", this);
  bClose->setObjectName("bClose");
  bClose->setAutoDefault(false);
  connect(bClose, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(BitBtn1);
  buttonRow->addStretch(1);
  buttonRow->addWidget(bClose);

  auto* top = new QVBoxLayout(this);
  top->addWidget(commandTitle);
  top->addLayout(entryRow);
  top->addWidget(modeBox);
  top->addWidget(listTitle);
  top->addWidget(LBComand);
  top->addWidget(Memo1, 1);
  top->addLayout(buttonRow);

  SaveDialog1 = new QFileDialog(this, "Save protocol");
  SaveDialog1->setObjectName("SaveDialog1");
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setDefaultSuffix("txt");
  SaveDialog1->setNameFilter("Text files (*.txt)");
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
  SaveDialog1->selectFile("CommandsLog");
}

void TFormCMD::SetCommandList(const std::vector<std::string>& entries) {
  const QSignalBlocker quiet(LBComand);
  LBComand->clear();
  for (const std::string& entry : entries) LBComand->addItem(QString::fromStdString(entry));
}

void TFormCMD::AppendLog(const std::string& utf8Line) {
  Memo1->appendPlainText(QString::fromStdString(VisibleLine(utf8Line)));
}

void TFormCMD::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  KeepOuterMinimum();
  if (shown_) return;
  shown_ = true;
  if (!FormShow()) QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

bool TFormCMD::FormShow() {
  const std::string listFile = FLocalPath + "commands.ini";
  if (FileExists(listFile)) {
    try {
      SetCommandList(ReadCommandFile(listFile));
    } catch (const FileError& error) {
      boxes_.Show(BoxKind::Error, BoxButtons::Ok, error.what());
      return false;
    }
  } else {
    boxes_.Show(BoxKind::Warning, BoxButtons::Ok, "List of commands not found (commands.ini)");
  }

  try {
    port_ = link::OpenPort("COM" + FPort, link::EV_RXCHAR);
  } catch (const link::PortError&) {
    boxes_.Show(BoxKind::Error, BoxButtons::Ok, "Not successful open COM port" + FPort);
    return true;
  }
  reader_ = std::make_unique<THReadCMD>(port_, channel_);
  reader_->Start();
  reportTimer_->start();
  return true;
}

void TFormCMD::bSendClick() {
  const std::string text = eCMD->text().toStdString();
  if (text.empty()) {
    boxes_.Show(BoxKind::Warning, BoxButtons::Ok, "Input the command");
    return;
  }
  const std::string command = CheckBox1->isChecked() ? "#00" + text : text;
  std::string line;
  if (!link::CommandLineBytes(command, line)) {
    boxes_.Show(BoxKind::Warning, BoxButtons::Ok,
                "The command is too long: a command line carries at most " +
                    std::to_string(link::kMaxCommandLength) + " characters");
    return;
  }
  AppendLog("> " + command);
  try {
    if (!port_) throw link::PortError("no port");
    link::WritePort(port_, command);
  } catch (const link::PortError&) {
    boxes_.Show(BoxKind::Error, BoxButtons::Ok, "Not successful open COM port");
  }
}

void TFormCMD::LBComandClick() {
  const QListWidgetItem* item = LBComand->currentItem();
  if (!item || !item->isSelected()) return;
  if (item->text().toStdString() == kSeparator) return;
  eCMD->setText(item->text());
}

void TFormCMD::BitBtn1Click() {
  if (SaveDialog1->exec() != QDialog::Accepted) return;
  const QStringList chosen = SaveDialog1->selectedFiles();
  if (chosen.isEmpty()) return;
  std::vector<std::string> logLines;
  if (!Memo1->document()->isEmpty()) {
    for (const QString& line : Memo1->toPlainText().split('\n')) logLines.push_back(line.toStdString());
  }
  try {
    WriteLines(chosen.first().toStdString(), SavedLogLines({FPort, FSN, FType}, logLines));
  } catch (const FileError& error) {
    boxes_.Show(BoxKind::Error, BoxButtons::Ok, error.what());
    return;
  }
  boxes_.Show(BoxKind::Information, BoxButtons::Ok, "Log is save!");
}

void TFormCMD::TakeReports() {
  // A box runs its own event loop, in which this timer fires again: what came after the box, the next box
  // included, waits until it is closed.
  if (showingBox_) return;
  while (std::optional<ReaderReport> report = channel_.Take()) {
    if (const auto* lines = std::get_if<LogLines>(&*report)) {
      for (const std::string& line : lines->lines) AppendLog(line);
    } else {
      const auto& box = std::get<ReaderBox>(*report);
      showingBox_ = true;
      boxes_.Show(box.kind, BoxButtons::Ok, box.text);
      showingBox_ = false;
    }
  }
}

void TFormCMD::done(int result) {
  StopReaderAndClosePort();
  QDialog::done(result);
}

void TFormCMD::StopReaderAndClosePort() {
  if (reportTimer_) reportTimer_->stop();
  if (reader_) {
    reader_->Terminate();
    reader_->WaitFor();
    reader_.reset();
  }
  if (port_) {
    port_->Close();
    port_.reset();
  }
}

void TFormCMD::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  KeepOuterMinimum();
}

void TFormCMD::KeepOuterMinimum() {
  // The limit is on the outer size; the window frame is known only once the window is on screen.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize inner(kMinWidth - std::max(0, frame.width()), kMinHeight - std::max(0, frame.height()));
  if (minimumSize() != inner) setMinimumSize(inner);
}

}  // namespace quarn::console
