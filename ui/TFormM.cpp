#include "TFormM.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "identify/SettingsPortStore.h"

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

}  // namespace

TFormM::TFormM(MessageBoxes* boxes, identify::PortStore* portStore, QWidget* parent)
    : QMainWindow(parent), boxes_(boxes), portStore_(portStore) {
  if (!boxes_) {
    ownBoxes_ = std::make_unique<QtMessageBoxes>(this);
    boxes_ = ownBoxes_.get();
  }
  if (!portStore_) {
    ownPortStore_ = std::make_unique<identify::SettingsPortStore>();
    portStore_ = ownPortStore_.get();
  }
  setObjectName("FormM");
  setWindowTitle("QUARN Evaluation Software v.1.3");
  BuildToolbar();

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(BuildLeftPanel());
  auto* right = new QWidget(central);
  right->setObjectName("rightArea");
  layout->addWidget(right, 1);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  setStatusBar(status);

  ApplyToolbar(identify::ToolbarColumn::ProgramStart);
  resize(1001, 678 + toolbar_->sizeHint().height() + status->sizeHint().height());
}

TFormM::~TFormM() = default;

void TFormM::BuildToolbar() {
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("ToolBar1");
  toolbar_->setMovable(false);
  for (const ButtonSpec& spec : kButtons) {
    if (spec.separatorBefore) toolbar_->addSeparator();
    auto* button = new QToolButton(toolbar_);
    button->setObjectName(spec.name);
    // The "&" makes Alt+letter press the button.
    button->setText(spec.caption);
    button->setIcon(QIcon::fromTheme(spec.themeIcon, style()->standardIcon(spec.fallback)));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    toolbar_->addWidget(button);
    buttons_[static_cast<int>(spec.id)] = button;
  }
  connect(Button(Button::Sens), &QToolButton::clicked, this, &TFormM::bSensClick);
}

QWidget* TFormM::BuildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("leftPanel");
  panel->setFixedWidth(249);
  auto* layout = new QVBoxLayout(panel);
  auto* heading = new QLabel("Information", panel);
  heading->setAlignment(Qt::AlignCenter);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  layout->addWidget(heading);

  VLE1 = new QTableWidget(5, 2, panel);
  VLE1->setObjectName("VLE1");
  VLE1->setHorizontalHeaderLabels({"Key", "Value"});
  VLE1->verticalHeader()->setVisible(false);
  VLE1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  VLE1->setSelectionMode(QAbstractItemView::NoSelection);
  VLE1->horizontalHeader()->setStretchLastSection(true);
  VLE1->setColumnWidth(0, 110);
  for (int row = 0; row < 5; ++row) {
    VLE1->setItem(row, 0, new QTableWidgetItem(kIdentityRows[row]));
    VLE1->setItem(row, 1, new QTableWidgetItem(QString()));
  }
  VLE1->setFixedHeight(VLE1->horizontalHeader()->sizeHint().height() + 5 * VLE1->rowHeight(0) + 4);
  layout->addWidget(VLE1);
  layout->addStretch(1);
  return panel;
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

}  // namespace quarn::ui
