#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "base/Folders.h"
#include "chart/ChartZoom.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "identify/PortSearch.h"
#include "review/BenchWindow.h"
#include "review/ReviewWindow.h"
#include "ui/RunControl.h"
#include "ui/SettingsPortStore.h"
#include "widgets/Heading.h"
#include "widgets/IdentityTable.h"

namespace quarn::ui {

namespace {

using ui::Button;

struct ButtonSpec {
  Button id;
  const char* name;
  const char* caption;
  const char* themeIcon;
  QStyle::StandardPixmap fallback;
  bool separatorBefore;
  const char* toolTip;
};

constexpr ButtonSpec kButtons[] = {
    {Button::Search, "bSearch", "&Search", "edit-find", QStyle::SP_FileDialogContentsView, false,
     "Looks for the sensor on the serial ports (Alt+S)"},
    {Button::CheckSensor, "bSens", "&Check", "dialog-ok-apply", QStyle::SP_DialogApplyButton, false,
     "Reads the sensor's serial number, firmware, type and range (Alt+C)"},
    {Button::Clear, "bClear", "C&lear", "edit-clear", QStyle::SP_DialogResetButton, false,
     "Empties the chart and the table (Alt+L)"},
    {Button::Start, "bStart", "S&tart", "media-playback-start", QStyle::SP_MediaPlay, true,
     "Starts measuring and recording into a new data file (Alt+T)"},
    {Button::Stop, "bStop", "St&op", "media-playback-stop", QStyle::SP_MediaStop, false,
     "Stops measuring; asks whether to keep the data file (Alt+O)"},
    {Button::Calibrate, "bCalibr", "C&alibrate", "preferences-system", QStyle::SP_BrowserReload, false,
     "Zero and span calibration with test gas (Alt+A)"},
    {Button::Console, "bCmd", "Co&mm", "utilities-terminal", QStyle::SP_ComputerIcon, false,
     "A console for raw commands to the sensor (Alt+M)"},
    {Button::Save, "bSave", "Sa&ve", "document-save", QStyle::SP_DialogSaveButton, true,
     "Saves a copy of the run's data file where you choose (Alt+V)"},
    {Button::Send, "bSend", "se&nd", "mail-send", QStyle::SP_ArrowForward, false,
     "Sends data files to support by e-mail or FTP (Alt+N)"},
};

constexpr int kClientWidth = 1001;
constexpr int kClientHeight = 678;
constexpr int kMinOuterWidth = 1017;
constexpr int kMinOuterHeight = 736;

std::string WithSeparator(const QString& folder) {
  QString path = QDir::toNativeSeparators(folder);
  if (!path.endsWith(QDir::separator())) path += QDir::separator();
  return path.toStdString();
}

}  // namespace

MainWindow::MainWindow(Dependencies deps, QWidget* parent) : QMainWindow(parent) {
  if (!deps.boxes) ownBoxes_ = std::make_unique<QtMessageBoxes>(this);
  boxes_ = deps.boxes ? deps.boxes : ownBoxes_.get();
  portStore_ = deps.portStore;
  if (!deps.files) ownFiles_ = std::make_unique<chart::DialogFileChooser>();
  files_ = deps.files ? deps.files : ownFiles_.get();
  if (!portStore_) {
    ownPortStore_ = std::make_unique<ui::SettingsPortStore>();
    portStore_ = ownPortStore_.get();
  }
  // The program's own files: beside it, or in the user's folder where the program folder is read-only.
  const QString program =
      deps.programFolder.isEmpty()
          ? QString::fromStdString(base::OwnFilesFolder(base::ProgramFolder(), base::UserDataFolder()).string())
          : deps.programFolder;
  settingsFile_ = deps.settingsFile;
  manualFile_ = deps.manualFile.isEmpty() ? InstalledManualFile() : deps.manualFile;
  openUrl_ = deps.openUrl ? deps.openUrl : UrlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); });
  criteria_ = std::make_unique<config::CriteriaFile>(program.toStdString() + "/" + config::kCriteriaFileName, *boxes_);
  setObjectName("FormM");
  setWindowTitle("QUARN Evaluation Software v.1.3");

  programFolder = WithSeparator(program);
  CreateFolders(deps.documentsFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                                               : deps.documentsFolder);

  BuildMenus();
  BuildToolbar();

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildLeftPanel());

  auto* right = new QWidget(central);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);
  // The statistics dock stands beside the chart only: the table below keeps the whole width for its columns.
  chartArea_ = new QMainWindow(right);
  chartArea_->setObjectName("chartArea");
  chartArea_->setWindowFlags(Qt::Widget);
  chartArea_->setDockOptions(QMainWindow::AnimatedDocks);
  chart_ = new chart::MeasurementChart(chartArea_);
  chartArea_->setCentralWidget(chart_);
  tableModel_ = new chart::RecordTableModel(this);
  table_ = new chart::RecordTable(right);
  table_->setObjectName("SG1");
  table_->setFixedHeight(166);
  table_->SetModel(tableModel_);
  rightLayout->addWidget(chartArea_, 1);
  rightLayout->addWidget(table_);
  layout->addWidget(right, 1);
  setCentralWidget(central);
  BuildEvaluation();

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  setStatusBar(status);

  run_ = std::make_unique<RunControl>(static_cast<RunView&>(*this), *boxes_);
  // The chart, the table and the panel read the store the run controller owns, which lives as long as it.
  chart_->SetRecords(&run_->Measurements());
  tableModel_->SetRecords(&run_->Measurements());
  statistics_->SetRecords(&run_->Measurements());

  ApplyToolbar(ui::ToolbarColumn::ProgramStart);
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
  // They use the boxes and the chooser this window may own.
  for (const QPointer<review::ReviewWindow>& review : reviews_) delete review.data();
  for (const QPointer<review::BenchWindow>& bench : benches_) delete bench.data();
}

void MainWindow::CreateFolders(const QString& documents) {
  documentsFolder = QDir::toNativeSeparators(documents).toStdString();
  // One level at a time; a failure shows later, when the reader cannot create its file.
  const QString quarn = documents + "/Quarn";
  if (!QDir(quarn + "/Save").exists()) {
    // A desktop without a documents folder yet (Qt does not make it) still gets one.
    QDir().mkpath(documents);
    QDir().mkdir(quarn);
    QDir().mkdir(quarn + "/Save");
  }
  saveFolder = WithSeparator(quarn + "/Save");
}

void MainWindow::BuildMenus() {
  QMenu* action = menuBar()->addMenu("Action");
  AddReviewActions(action);
  AddMarkerUndo(action);
  QMenu* mode = action->addMenu("Mode");
  menuBasic_ = mode->addAction("basic", this, &MainWindow::ShowBasicMode);
  menuAdvance_ = mode->addAction("advance", this, &MainWindow::ShowAdvancedMode);
  menuBasic_->setCheckable(true);
  menuAdvance_->setCheckable(true);
  menuBasic_->setChecked(true);
  QAction* settings = action->addAction("Settings", this, &MainWindow::SettingsClicked);
  settings->setObjectName("menuSettings");
  action->addSeparator();
  action->addAction("Exit", this, &QWidget::close);
  QMenu* help = menuBar()->addMenu("Help");
  QAction* manual = help->addAction("Manual help", this, &MainWindow::ManualHelpClicked);
  manual->setObjectName("menuManualHelp");
  manual->setShortcut(QKeySequence::HelpContents);
}

void MainWindow::ManualHelpClicked() {
  OpenManualHelp(QString::fromStdString(programFolder), manualFile_, openUrl_, *boxes_);
}

void MainWindow::BuildToolbar() {
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("ToolBar1");
  toolbar_->setMovable(false);
  for (const ButtonSpec& entry : kButtons) {
    if (entry.separatorBefore) toolbar_->addSeparator();
    auto* button = new QToolButton(toolbar_);
    button->setObjectName(entry.name);
    // The "&" makes Alt+letter press the button.
    button->setText(entry.caption);
    button->setIcon(QIcon::fromTheme(entry.themeIcon, style()->standardIcon(entry.fallback)));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setToolTip(entry.toolTip);
    toolbar_->addWidget(button);
    buttons_[static_cast<int>(entry.id)] = button;
  }
  connect(Button(Button::Search), &QToolButton::clicked, this, &MainWindow::SearchClicked);
  connect(Button(Button::CheckSensor), &QToolButton::clicked, this, &MainWindow::CheckSensorClicked);
  connect(Button(Button::Calibrate), &QToolButton::clicked, this, &MainWindow::CalibrateClicked);
  connect(Button(Button::Console), &QToolButton::clicked, this, &MainWindow::ConsoleClicked);
  connect(Button(Button::Send), &QToolButton::clicked, this, &MainWindow::SendClicked);
  connect(Button(Button::Start), &QToolButton::clicked, this, &MainWindow::StartClicked);
  connect(Button(Button::Stop), &QToolButton::clicked, this, &MainWindow::StopClicked);
  connect(Button(Button::Save), &QToolButton::clicked, this, &MainWindow::SaveClicked);
  connect(Button(Button::Clear), &QToolButton::clicked, this, &MainWindow::ClearClicked);
}

QWidget* MainWindow::BuildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("leftPanel");
  panel->setFixedWidth(249);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(widgets::Heading("Information", 1.0, panel, Qt::AlignCenter));

  identityTable_ = widgets::IdentityTable(
      {identify::kRowPort, identify::kRowSerial, identify::kRowFirmware, identify::kRowType, identify::kRowRange},
      panel);
  layout->addWidget(identityTable_);

  layout->addWidget(widgets::Heading("Control panel", 1.0, panel, Qt::AlignCenter));
  layout->addWidget(BuildIntervalGroup(panel));

  auto* modeGroup = new QGroupBox("Mode", panel);
  modeGroup->setObjectName("RG1");
  auto* modeLayout = new QVBoxLayout(modeGroup);
  basicModeButton_ = new QRadioButton("Basic", modeGroup);
  advancedModeButton_ = new QRadioButton("Advance", modeGroup);
  basicModeButton_->setObjectName("RBBasic");
  advancedModeButton_->setObjectName("RBAdvance");
  basicModeButton_->setChecked(true);
  basicModeButton_->setToolTip("The table shows N, Time, Conc and Status");
  advancedModeButton_->setToolTip("The table and the chart show every value the sensor reports");
  modeLayout->addWidget(basicModeButton_);
  modeLayout->addWidget(advancedModeButton_);
  connect(basicModeButton_, &QRadioButton::clicked, this, &MainWindow::ShowBasicMode);
  connect(advancedModeButton_, &QRadioButton::clicked, this, &MainWindow::ShowAdvancedMode);
  layout->addWidget(modeGroup);

  autoScrollBox_ = new QCheckBox("Auto Scrolling", panel);
  autoScrollBox_->setObjectName("CBScroll");
  autoScrollBox_->setChecked(true);
  autoScrollBox_->setToolTip("Keeps the newest record in view in the table");
  layout->addWidget(autoScrollBox_);
  reconnectBox_ = new QCheckBox("Reconnect automatically", panel);
  reconnectBox_->setObjectName("CBReconnect");
  reconnectBox_->setToolTip(
      "When the sensor is lost during a run (cable pulled, adapter reset), look for it every 2 s and go on in the "
      "same data file once the same sensor (serial number and firmware) is back; Stop ends the wait. Applies from "
      "the next Start.");
  layout->addWidget(reconnectBox_);
  layout->addStretch(1);
  layout->addWidget(widgets::Heading("Data Table", 1.0, panel, Qt::AlignCenter));
  return panel;
}

QWidget* MainWindow::BuildIntervalGroup(QWidget* parent) {
  auto* group = new QGroupBox("Sampling interval", parent);
  auto* layout = new QVBoxLayout(group);
  auto* row = new QHBoxLayout;
  intervalEdit_ = new QLineEdit("2", group);
  intervalEdit_->setObjectName("eDeley");
  intervalEdit_->installEventFilter(this);
  row->addWidget(intervalEdit_);
  row->addWidget(new QLabel("sec.", group));
  layout->addLayout(row);
  intervalSlider_ = new QSlider(Qt::Horizontal, group);
  intervalSlider_->setObjectName("TrackBar1");
  intervalSlider_->setRange(5, 990);
  intervalSlider_->setValue(20);
  intervalSlider_->setPageStep(10);
  const QString fastest =
      "0.5 to 99 s between two measurements. At 0.5 s, the fastest setting, the sensor is asked as fast as the "
      "line allows: about 14 to 20 records a second at 9600 baud, not two.";
  intervalSlider_->setToolTip(fastest);
  intervalEdit_->setToolTip(fastest);
  layout->addWidget(intervalSlider_);
  connect(intervalSlider_, &QSlider::valueChanged, this, &MainWindow::IntervalSliderChanged);
  connect(intervalEdit_, &QLineEdit::textEdited, this, &MainWindow::IntervalTextChanged);
  layout->addWidget(widgets::Heading("Zoom", 1.0, group, Qt::AlignCenter));
  layout->addWidget(BuildZoomButtons(group));
  return group;
}

QWidget* MainWindow::BuildZoomButtons(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  const std::pair<const char*, void (MainWindow::*)()> zooms[] = {{"X+", &MainWindow::ZoomXIn},
                                                                  {"X-", &MainWindow::ZoomXOut},
                                                                  {"Y+", &MainWindow::ZoomYIn},
                                                                  {"Y-", &MainWindow::ZoomYOut},
                                                                  {"Reset", &MainWindow::ZoomReset}};
  for (const auto& [caption, slot] : zooms) {
    auto* button = new QPushButton(caption, box);
    button->setObjectName(QString("zoom") + caption);
    button->setToolTip(chart::ZoomToolTip(caption));
    button->setAutoDefault(false);
    button->setMinimumWidth(10);
    connect(button, &QPushButton::clicked, this, slot);
    layout->addWidget(button);
  }
  return box;
}

QString MainWindow::IdentityRow(const QString& row) const { return widgets::IdentityValue(*identityTable_, row); }

base::SensorIdentity MainWindow::ShownIdentity() const {
  const auto row = [this](const char* name) { return IdentityRow(name).toStdString(); };
  return {row(identify::kRowPort), row(identify::kRowSerial), row(identify::kRowFirmware), row(identify::kRowType),
          row(identify::kRowRange)};
}

void MainWindow::SetIdentityRow(const std::string& row, const std::string& value) {
  widgets::SetIdentityValue(*identityTable_, QString::fromStdString(row), QString::fromStdString(value));
}

void MainWindow::ApplyToolbar(ui::ToolbarColumn column) {
  if (markButton_) markButton_->setEnabled(run_ && run_->Running());
  if (undoMarker_) undoMarker_->setEnabled(run_ && run_->CanUndoMarkerChange());
  const auto states = ui::ToolbarStates(column);
  for (int i = 0; i < ui::kButtonCount; ++i) {
    if (states[i] != ui::ButtonState::Same) buttons_[i]->setEnabled(states[i] == ui::ButtonState::On);
  }
}

void MainWindow::CheckSensorClicked() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const identify::CheckResult result = identify::CheckSensor(identity, *portStore_, *this, *boxes_);
  if (result != identify::CheckResult::Unchanged) {
    ApplyToolbar(result == identify::CheckResult::Succeeded ? ToolbarColumn::CheckSuccess
                                                            : ToolbarColumn::CheckFailure);
  }
  QApplication::restoreOverrideCursor();
}

void MainWindow::ReadTypeAndRange() { identify::ReadTypeAndRange(identity, *this, *boxes_); }

// ---- the run's view ------------------------------------------------------------------------------------

bool MainWindow::ReloadCriteria() { return ReadCriteria(false); }

void MainWindow::PrepareDisplay(bool newSeries, std::shared_ptr<const acquisition::RecordBlock> earlierRun) {
  if (newSeries) {
    chart_->CreateSeries();
  } else {
    chart_->ClearPoints();
    tableModel_->KeepEarlierRun(std::move(earlierRun));
  }
  statistics_->Reset();
  if (!advancedMode) ShowBasicMode();
}

void MainWindow::ShowRecords(size_t count) {
  if (!chart_->HasSeries()) return;
  // They know how far they have shown.
  chart_->ShowRecords(count);
  tableModel_->ShowRecords(count);
  if (autoScrollBox_->isChecked()) table_->ShowLast();
  chart_->Refresh();
  statistics_->Refresh();
}

void MainWindow::ClearDisplay() {
  tableModel_->Reset();
  chart_->RemoveSeries();
  chart_->SetMarkers({});
  chart_->ClearSpan();
  statistics_->SetMarkers({});
  statistics_->Reset();
  update();
}

void MainWindow::ForgetSensor() {
  for (const char* row : {identify::kRowSerial, identify::kRowFirmware, identify::kRowType, identify::kRowRange}) {
    SetIdentityRow(row, "");
  }
  identity.serialNumber.clear();
  identity.firmware.clear();
  identity.typeCode.clear();
  identity.rangeCode.clear();
}

void MainWindow::SensorMovedTo(const std::string& portNumber) {
  identify::ApplyMovedPort(portNumber, identity, *portStore_, *this);
}

void MainWindow::ShowRunNote(const QString& text) {
  if (text.isEmpty()) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage(text);
  }
}

QString MainWindow::AskSavePath(const QString& fileName) {
  return files_->DataFileSavePath(this, QString::fromStdString(saveFolder) + fileName);
}

// ---- modes -------------------------------------------------------------------------------------------

void MainWindow::ShowBasicMode() {
  menuBasic_->setChecked(true);
  menuAdvance_->setChecked(false);
  basicModeButton_->setChecked(true);
  advancedMode = false;
  tableModel_->SetAdvanced(false);
  chart_->SetAdvanced(false);
  chart_->Refresh();
  // The figures follow the series shown.
  statistics_->Refresh();
  LayoutTable();
}

void MainWindow::ShowAdvancedMode() {
  menuAdvance_->setChecked(true);
  menuBasic_->setChecked(false);
  advancedModeButton_->setChecked(true);
  advancedMode = true;
  tableModel_->SetAdvanced(true);
  chart_->SetAdvanced(true);
  chart_->Refresh();
  // The figures follow the series shown.
  statistics_->Refresh();
  LayoutTable();
  EnforceMinimumSize();
}

int MainWindow::ModeIndex() const { return advancedModeButton_->isChecked() ? 1 : 0; }

bool MainWindow::ReadCriteria(bool withWindowSettings) {
  const config::CriteriaRead read = criteria_->ReadCriteria(withWindowSettings);
  if (read.result == config::CriteriaResult::Missing) QTimer::singleShot(0, this, &QWidget::close);
  if (read.result != config::CriteriaResult::Done) return false;
  if (read.window.intervalPosition) intervalSlider_->setValue(*read.window.intervalPosition);
  if (read.window.advancedMode) advancedMode = *read.window.advancedMode;
  if (read.window.reconnect) reconnectBox_->setChecked(*read.window.reconnect);
  // Also when the flag was set before this read: a Start re-applies the user's advanced mode.
  if (advancedMode) ShowAdvancedMode();
  return true;
}

// ---- show, resize, close -----------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - frameGeometry().center() + pos());
  }
  tableModel_->SetAdvanced(advancedMode);
  ReadCriteria(true);
  LayoutTable();
  EnforceMinimumSize();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayoutTable();
  FitStatisticsDock();
  EnforceMinimumSize();
}

void MainWindow::LayoutTable() {
  table_->LayoutColumns();
  // However wide the statistics are dragged, the chart keeps half the window; a floating panel is free.
  auto* dock = chartArea_->findChild<QDockWidget*>("StatisticsDock");
  if (!dock) return;
  const int separator = chartArea_->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, chartArea_);
  const int most = std::max(dock->minimumSizeHint().width(), chartArea_->width() - (width() + 1) / 2 - separator);
  dock->setMaximumWidth(dock->isFloating() ? QWIDGETSIZE_MAX : most);
}

void MainWindow::FitStatisticsDock() {
  // A larger window gives the statistics their share, up to two fifths of the chart's area.
  auto* dock = chartArea_->findChild<QDockWidget*>("StatisticsDock");
  if (!dock || dock->isFloating()) return;
  const int wanted = std::min(dock->maximumWidth(), chartArea_->width() * 2 / 5);
  if (dock->width() < wanted) chartArea_->resizeDocks({dock}, {wanted}, Qt::Horizontal);
}

void MainWindow::EnforceMinimumSize() {
  // The outer size (frame included) never drops below 1017 x 736.
  const QSize frame = frameGeometry().size() - geometry().size();
  setMinimumSize(kMinOuterWidth - frame.width(), kMinOuterHeight - frame.height());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  criteria_->WriteCriteria(IntervalPosition(), ModeIndex(), reconnectBox_->isChecked());
  run_->CloseSequence();
  CloseReviewWindows();
  event->accept();
}

}  // namespace quarn::ui
