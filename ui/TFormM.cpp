#include "TFormM.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
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
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "acquisition/DateTime.h"
#include "identify/SettingsPortStore.h"
#include "ui/MeasChart.h"
#include "ui/MeasTableModel.h"
#include "ui/RunControl.h"

namespace quarn::ui {

namespace {

using identify::Button;

struct ButtonSpec {
  Button id;
  const char* name;
  const char* caption;
  const char* themeIcon;
  QStyle::StandardPixmap fallback;
  bool separatorBefore;
};

constexpr ButtonSpec kButtons[] = {
    {Button::Search, "bSearch", "&Search", "edit-find", QStyle::SP_FileDialogContentsView, false},
    {Button::Sens, "bSens", "&Check", "dialog-ok-apply", QStyle::SP_DialogApplyButton, false},
    {Button::Clear, "bClear", "C&lear", "edit-clear", QStyle::SP_DialogResetButton, false},
    {Button::Start, "bStart", "S&tart", "media-playback-start", QStyle::SP_MediaPlay, true},
    {Button::Stop, "bStop", "St&op", "media-playback-stop", QStyle::SP_MediaStop, false},
    {Button::Calibr, "bCalibr", "C&alibrate", "preferences-system", QStyle::SP_BrowserReload, false},
    {Button::Cmd, "bCmd", "Co&mm", "utilities-terminal", QStyle::SP_ComputerIcon, false},
    {Button::Save, "bSave", "Sa&ve", "document-save", QStyle::SP_DialogSaveButton, true},
    {Button::Send, "bSend", "se&nd", "mail-send", QStyle::SP_ArrowForward, false},
};

const char* const kIdentityRows[] = {identify::kRowPort, identify::kRowSerial, identify::kRowFirmware,
                                     identify::kRowType, identify::kRowRange};

constexpr int kClientWidth = 1001;
constexpr int kClientHeight = 678;
constexpr int kMinOuterWidth = 1017;
constexpr int kMinOuterHeight = 736;
// The "Time" column at the reference font; wider where the locale's time text needs it.
constexpr int kTimeColumnWidth = 150;

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

std::string WithSeparator(const QString& folder) {
  QString path = QDir::toNativeSeparators(folder);
  if (!path.endsWith(QDir::separator())) path += QDir::separator();
  return path.toStdString();
}

}  // namespace

TFormM::TFormM(Dependencies deps, QWidget* parent)
    : QMainWindow(parent),
      boxes_(deps.boxes),
      portStore_(deps.portStore),
      criteria_((deps.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : deps.programFolder)
                        .toStdString() +
                    "/" + config::kCriteriaFileName,
                *this, deps.boxes ? *deps.boxes : *(ownBoxes_ = std::make_unique<QtMessageBoxes>(this))) {
  if (!boxes_) boxes_ = ownBoxes_.get();
  if (!portStore_) {
    ownPortStore_ = std::make_unique<identify::SettingsPortStore>();
    portStore_ = ownPortStore_.get();
  }
  setObjectName("FormM");
  setWindowTitle("QUARN Evaluation Software v.1.3");

  FLocalPath = WithSeparator(deps.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                          : deps.programFolder);
  CreateFolders(deps.documentsFolder.isEmpty()
                    ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
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
  Chart1 = new MeasChart(right);
  tableModel_ = new MeasTableModel(this);
  SG1 = new QTableView(right);
  SG1->setObjectName("SG1");
  SG1->setModel(tableModel_);
  SG1->setFixedHeight(166);
  SG1->setSelectionBehavior(QAbstractItemView::SelectRows);
  SG1->setSelectionMode(QAbstractItemView::SingleSelection);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->verticalHeader()->setVisible(false);
  SG1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG1->verticalHeader()->setDefaultSectionSize(SG1->fontMetrics().height() + 6);
  SG1->horizontalHeader()->setFixedHeight(35);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  rightLayout->addWidget(Chart1, 1);
  rightLayout->addWidget(SG1);
  layout->addWidget(right, 1);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  setStatusBar(status);

  run_ = std::make_unique<RunControl>(*this);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TFormM::Timer1Timer);

  ApplyToolbar(identify::ToolbarColumn::ProgramStart);
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

TFormM::~TFormM() = default;

void TFormM::CreateFolders(const QString& documents) {
  FDoc = QDir::toNativeSeparators(documents).toStdString();
  // One level at a time; a failure shows later, when the reader cannot create its file.
  const QString quarn = documents + "/Quarn";
  if (!QDir(quarn + "/Save").exists()) {
    // A desktop without a documents folder yet (Qt does not make it) still gets one.
    QDir().mkpath(documents);
    QDir().mkdir(quarn);
    QDir().mkdir(quarn + "/Save");
  }
  FLocalSave = WithSeparator(quarn + "/Save");
}

void TFormM::BuildMenus() {
  QMenu* action = menuBar()->addMenu("Action");
  QMenu* mode = action->addMenu("Mode");
  menuBasic_ = mode->addAction("basic", this, &TFormM::BasicMode);
  menuAdvance_ = mode->addAction("advance", this, &TFormM::AdvanceMode);
  menuBasic_->setCheckable(true);
  menuAdvance_->setCheckable(true);
  menuBasic_->setChecked(true);
  QAction* settings = action->addAction("Settings", this, &TFormM::SettingsClick);
  settings->setObjectName("menuSettings");
  action->addSeparator();
  action->addAction("Exit", this, &QWidget::close);
  QMenu* help = menuBar()->addMenu("Help");
  help->addAction("Manual help", this, [this] {
    const QString file = QString::fromStdString(FLocalPath) + "help.chm";
    if (QFile::exists(file)) QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  });
}

void TFormM::BuildToolbar() {
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
    toolbar_->addWidget(button);
    buttons_[static_cast<int>(entry.id)] = button;
  }
  connect(Button(Button::Search), &QToolButton::clicked, this, &TFormM::bSearchClick);
  connect(Button(Button::Sens), &QToolButton::clicked, this, &TFormM::bSensClick);
  connect(Button(Button::Calibr), &QToolButton::clicked, this, &TFormM::bCalibrClick);
  connect(Button(Button::Cmd), &QToolButton::clicked, this, &TFormM::bCmdClick);
  connect(Button(Button::Send), &QToolButton::clicked, this, &TFormM::bSendClick);
  connect(Button(Button::Start), &QToolButton::clicked, this, &TFormM::bStartClick);
  connect(Button(Button::Stop), &QToolButton::clicked, this, &TFormM::bStopClick);
  connect(Button(Button::Save), &QToolButton::clicked, this, &TFormM::bSaveClick);
  connect(Button(Button::Clear), &QToolButton::clicked, this, &TFormM::bClearClick);
}

QWidget* TFormM::BuildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("leftPanel");
  panel->setFixedWidth(249);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(Heading("Information", panel));

  VLE1 = new QTableWidget(5, 2, panel);
  VLE1->setObjectName("VLE1");
  VLE1->setHorizontalHeaderLabels({"Key", "Value"});
  VLE1->verticalHeader()->setVisible(false);
  VLE1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  VLE1->setSelectionMode(QAbstractItemView::NoSelection);
  VLE1->setFocusPolicy(Qt::NoFocus);
  VLE1->horizontalHeader()->setStretchLastSection(true);
  VLE1->setColumnWidth(0, 110);
  for (int row = 0; row < 5; ++row) {
    VLE1->setItem(row, 0, new QTableWidgetItem(kIdentityRows[row]));
    VLE1->setItem(row, 1, new QTableWidgetItem(QString()));
  }
  VLE1->setFixedHeight(VLE1->horizontalHeader()->sizeHint().height() + 5 * VLE1->rowHeight(0) + 4);
  layout->addWidget(VLE1);

  layout->addWidget(Heading("Control panel", panel));
  layout->addWidget(BuildIntervalGroup(panel));

  auto* modeGroup = new QGroupBox("Mode", panel);
  modeGroup->setObjectName("RG1");
  auto* modeLayout = new QVBoxLayout(modeGroup);
  rgBasic_ = new QRadioButton("Basic", modeGroup);
  rgAdvance_ = new QRadioButton("Advance", modeGroup);
  rgBasic_->setChecked(true);
  modeLayout->addWidget(rgBasic_);
  modeLayout->addWidget(rgAdvance_);
  connect(rgBasic_, &QRadioButton::clicked, this, &TFormM::BasicMode);
  connect(rgAdvance_, &QRadioButton::clicked, this, &TFormM::AdvanceMode);
  layout->addWidget(modeGroup);

  CBScroll = new QCheckBox("Auto Scrolling", panel);
  CBScroll->setObjectName("CBScroll");
  CBScroll->setChecked(true);
  layout->addWidget(CBScroll);
  layout->addStretch(1);
  layout->addWidget(Heading("Data Table", panel));
  return panel;
}

QWidget* TFormM::BuildIntervalGroup(QWidget* parent) {
  auto* group = new QGroupBox("Sampling interval", parent);
  auto* layout = new QVBoxLayout(group);
  auto* row = new QHBoxLayout;
  eDeley = new QLineEdit("2", group);
  eDeley->setObjectName("eDeley");
  eDeley->installEventFilter(this);
  row->addWidget(eDeley);
  row->addWidget(new QLabel("sec.", group));
  layout->addLayout(row);
  TrackBar1 = new QSlider(Qt::Horizontal, group);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(5, 990);
  TrackBar1->setValue(20);
  TrackBar1->setPageStep(10);
  layout->addWidget(TrackBar1);
  connect(TrackBar1, &QSlider::valueChanged, this, &TFormM::TrackBarChanged);
  connect(eDeley, &QLineEdit::textEdited, this, &TFormM::IntervalTextChanged);
  layout->addWidget(Heading("Zoom", group));
  layout->addWidget(BuildZoomButtons(group));
  return group;
}

QWidget* TFormM::BuildZoomButtons(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  const std::pair<const char*, void (TFormM::*)()> zooms[] = {{"X+", &TFormM::ZoomXIn},
                                                              {"X-", &TFormM::ZoomXOut},
                                                              {"Y+", &TFormM::ZoomYIn},
                                                              {"Y-", &TFormM::ZoomYOut},
                                                              {"Reset", &TFormM::ZoomReset}};
  for (const auto& [caption, slot] : zooms) {
    auto* button = new QPushButton(caption, box);
    button->setObjectName(QString("zoom") + caption);
    button->setAutoDefault(false);
    button->setMinimumWidth(10);
    connect(button, &QPushButton::clicked, this, slot);
    layout->addWidget(button);
  }
  return box;
}

QString TFormM::IdentityRow(const QString& row) const {
  for (int r = 0; r < VLE1->rowCount(); ++r) {
    if (VLE1->item(r, 0)->text() == row) return VLE1->item(r, 1)->text();
  }
  return {};
}

void TFormM::SetIdentityRow(const std::string& row, const std::string& value) {
  const QString name = QString::fromStdString(row);
  for (int r = 0; r < VLE1->rowCount(); ++r) {
    if (VLE1->item(r, 0)->text() == name) VLE1->item(r, 1)->setText(QString::fromStdString(value));
  }
}

void TFormM::ApplyToolbar(identify::ToolbarColumn column) {
  const auto states = identify::ToolbarStates(column);
  for (int i = 0; i < identify::kButtonCount; ++i) {
    if (states[i] != identify::ButtonState::Same) buttons_[i]->setEnabled(states[i] == identify::ButtonState::On);
  }
}

void TFormM::bSensClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  identify::CheckSensor(Identity, *portStore_, *this, *boxes_);
  QApplication::restoreOverrideCursor();
}

void TFormM::CheckCoeff() { identify::CheckCoeff(Identity, *this, *boxes_); }

// ---- modes -------------------------------------------------------------------------------------------

void TFormM::BasicMode() {
  menuBasic_->setChecked(true);
  menuAdvance_->setChecked(false);
  rgBasic_->setChecked(true);
  FMode = false;
  tableModel_->SetAdvanced(false);
  Chart1->SetAdvanced(false);
  Chart1->Refresh();
  LayoutTable();
}

void TFormM::AdvanceMode() {
  menuAdvance_->setChecked(true);
  menuBasic_->setChecked(false);
  rgAdvance_->setChecked(true);
  FMode = true;
  tableModel_->SetAdvanced(true);
  Chart1->SetAdvanced(true);
  Chart1->Refresh();
  LayoutTable();
  EnforceMinimumSize();
}

int TFormM::ModeIndex() const { return rgAdvance_->isChecked() ? 1 : 0; }

// ---- show, resize, close -----------------------------------------------------------------------------

void TFormM::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - frameGeometry().center() + pos());
  }
  tableModel_->SetAdvanced(FMode);
  criteria_.ReadCriteria(true);
  LayoutTable();
  EnforceMinimumSize();
}

void TFormM::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayoutTable();
  EnforceMinimumSize();
}

int TFormM::TimeColumnWidth() const {
  // The widest time text of the locale: two-digit days and months, each month for its name, a morning and
  // an evening hour for AM/PM texts, and the widest milliseconds.
  int widest = 0;
  const QFontMetrics metrics(SG1->font());
  for (int month = 1; month <= 12; ++month) {
    for (int hour : {10, 22}) {
      const double dt = acquisition::EncodeDT({2026, month, 28, hour, 58, 58, 888});
      widest = std::max(widest, metrics.horizontalAdvance(tableModel_->TimeText(dt)));
    }
  }
  // The cell's text margins, as the view's style draws them, and a little air.
  const int margin = SG1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, SG1) + 1;
  return std::max(kTimeColumnWidth, widest + 2 * margin + 6);
}

void TFormM::LayoutTable() {
  // "Status" is wider than 40 pixels in most fonts: the column holds its header whole.
  const QHeaderView* header = SG1->horizontalHeader();
  const int headerMargin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
  const int status = std::max(40, header->fontMetrics().horizontalAdvance("Status") + headerMargin);
  const int fixed[4] = {40, TimeColumnWidth(), 50, status};
  for (int c = 0; c < 4; ++c) SG1->setColumnWidth(c, fixed[c]);
  if (tableModel_->columnCount() > 4) {
    // The eight columns share 96 % of what the first four leave.
    const int first = fixed[0] + fixed[1] + fixed[2] + fixed[3];
    const int width = static_cast<int>(std::llrint((SG1->viewport()->width() - first) * 0.12));
    for (int c = 4; c < 12; ++c) SG1->setColumnWidth(c, width);
  }
}

void TFormM::EnforceMinimumSize() {
  // The outer size (frame included) never drops below 1017 x 736.
  const QSize frame = frameGeometry().size() - geometry().size();
  setMinimumSize(kMinOuterWidth - frame.width(), kMinOuterHeight - frame.height());
}

void TFormM::closeEvent(QCloseEvent* event) {
  criteria_.WriteCriteria();
  run_->CloseSequence();
  event->accept();
}

void TFormM::RequestClose() { QTimer::singleShot(0, this, &QWidget::close); }

}  // namespace quarn::ui
