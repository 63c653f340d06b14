#include "support/MailSettingsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "support/WindowFeedback.h"
#include "widgets/Heading.h"

namespace quarn::support {

namespace {

constexpr int kMaxFieldLength = 30;
constexpr const char* kRowKeys[MailSettingsWindow::kRowCount] = {"SMTP server", "Port SMTP", "e-mail (login)",
                                                                 "e-mail for test"};
// Masked passwords show '*' whatever the style's own choice.
constexpr const char* kStarPasswordSheet = "lineedit-password-character: 42";

// On the port row: digits, Backspace and Enter type; other keys that would type a character are dropped.
// Keys that type nothing (arrows, Tab, Escape, Delete) keep their usual work.
bool PortKeyAllowed(const QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Delete: return true;
    default: break;
  }
  for (const QChar c : key.text()) {
    if (c < QChar('0') || c > QChar('9')) return false;
  }
  return true;
}

// Hands every cell editor the window's key filter.
class FilteredEditorDelegate : public QStyledItemDelegate {
 public:
  FilteredEditorDelegate(QObject* filter, QObject* parent) : QStyledItemDelegate(parent), filter_(filter) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor != nullptr) editor->installEventFilter(filter_);
    return editor;
  }

 private:
  QObject* filter_;
};

QLineEdit* LimitedEdit(const char* name, bool password, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(kMaxFieldLength);
  if (password) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(kStarPasswordSheet);
  }
  return edit;
}

QPushButton* Button(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

MailSettingsWindow::MailSettingsWindow(std::string programFolder, std::string ftpServer, int32_t ftpPort,
                                       std::string ftpPath, base::MessageBoxes& boxes, QWidget* owner)
    : QDialog(owner),
      localPath_(programFolder),
      boxes_(boxes),
      setup_(std::move(programFolder), {std::move(ftpServer), ftpPort, std::move(ftpPath)}, boxes) {
  setObjectName("FormMail");
  setWindowTitle("Mail configuration");
  BuildControls();
  setup_.SetFeedback(BusyCursorFeedback());
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &MailSettingsWindow::ShowHelp);
}

void MailSettingsWindow::BuildControls() {
  mailGrid_ = new QTableWidget(kRowCount, 2, this);
  mailGrid_->setObjectName("VLE1");
  mailGrid_->setHorizontalHeaderLabels({"Key", "Value"});
  mailGrid_->verticalHeader()->hide();
  mailGrid_->horizontalHeader()->setStretchLastSection(true);
  mailGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
  mailGrid_->setEditTriggers(QAbstractItemView::AllEditTriggers);
  mailGrid_->setItemDelegate(new FilteredEditorDelegate(this, mailGrid_));
  mailGrid_->installEventFilter(this);
  for (int row = 0; row < kRowCount; ++row) {
    auto* key = new QTableWidgetItem(kRowKeys[row]);
    key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    mailGrid_->setItem(row, 0, key);
    mailGrid_->setItem(row, 1, new QTableWidgetItem(row == kPortRow ? "25" : ""));
  }
  mailGrid_->resizeColumnToContents(0);
  mailGrid_->setColumnWidth(0, mailGrid_->columnWidth(0) + 16);
  mailGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mailGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mailGrid_->setFixedHeight(mailGrid_->horizontalHeader()->sizeHint().height() + kRowCount * mailGrid_->rowHeight(0) +
                            2 * mailGrid_->frameWidth());
  mailGrid_->setMinimumWidth(320);
  mailGrid_->setCurrentCell(0, 1);

  mailPasswordEdit_ = LimitedEdit("ePassE", true, this);
  showMailPasswordBox_ = new QCheckBox("Show password", this);
  showMailPasswordBox_->setObjectName("CBpassE");
  connect(showMailPasswordBox_, &QCheckBox::toggled, this, &MailSettingsWindow::ShowMailPasswordClicked);
  connectionBox_ = new QComboBox(this);
  connectionBox_->setObjectName("CB1");
  connectionBox_->addItems({"none ciphering", "SSL/TSL"});
  connectionBox_->setCurrentIndex(0);
  testMailButton_ = Button("bTestE", "Test E-Mail", this);
  connect(testMailButton_, &QPushButton::clicked, this, &MailSettingsWindow::TestMailClicked);
  saveMailButton_ = Button("bSaveE", "save", this);
  connect(saveMailButton_, &QPushButton::clicked, this, &MailSettingsWindow::SaveMailClicked);

  auto* mailForm = new QGridLayout;
  auto* passwordLabel = new QLabel("Password", this);
  passwordLabel->setBuddy(mailPasswordEdit_);
  mailForm->addWidget(passwordLabel, 0, 0);
  mailForm->addWidget(mailPasswordEdit_, 0, 1);
  mailForm->addWidget(showMailPasswordBox_, 0, 2);
  auto* connectionLabel = new QLabel("Connection", this);
  connectionLabel->setBuddy(connectionBox_);
  mailForm->addWidget(connectionLabel, 1, 0);
  mailForm->addWidget(connectionBox_, 1, 1);
  mailForm->setColumnStretch(1, 1);
  auto* mailButtons = new QHBoxLayout;
  mailButtons->addWidget(testMailButton_);
  mailButtons->addStretch(1);
  mailButtons->addWidget(saveMailButton_);

  auto* mailColumn = new QVBoxLayout;
  mailColumn->addWidget(widgets::Heading("Setting E-Mail", 1.0, this));
  mailColumn->addWidget(mailGrid_);
  mailColumn->addLayout(mailForm);
  mailColumn->addStretch(1);
  mailColumn->addLayout(mailButtons);

  ftpAccountEdit_ = LimitedEdit("eAccountFTP", false, this);
  ftpPasswordEdit_ = LimitedEdit("ePassFtp", true, this);
  showFtpPasswordBox_ = new QCheckBox("Show password", this);
  showFtpPasswordBox_->setObjectName("CBpassFtp");
  connect(showFtpPasswordBox_, &QCheckBox::toggled, this, &MailSettingsWindow::ShowFtpPasswordClicked);
  passiveBox_ = new QCheckBox("Passive mode", this);
  passiveBox_->setObjectName("CBpassive");
  testFtpButton_ = Button("bTestFtp", "Test FTP", this);
  connect(testFtpButton_, &QPushButton::clicked, this, &MailSettingsWindow::TestFtpClicked);
  saveFtpButton_ = Button("bSaveFtp", "save", this);
  connect(saveFtpButton_, &QPushButton::clicked, this, &MailSettingsWindow::SaveFtpClicked);

  auto* ftpForm = new QGridLayout;
  auto* accountLabel = new QLabel("Account", this);
  accountLabel->setBuddy(ftpAccountEdit_);
  ftpForm->addWidget(accountLabel, 0, 0);
  ftpForm->addWidget(ftpAccountEdit_, 0, 1);
  auto* ftpPasswordLabel = new QLabel("Password", this);
  ftpPasswordLabel->setBuddy(ftpPasswordEdit_);
  ftpForm->addWidget(ftpPasswordLabel, 1, 0);
  ftpForm->addWidget(ftpPasswordEdit_, 1, 1);
  ftpForm->addWidget(showFtpPasswordBox_, 1, 2);
  ftpForm->addWidget(passiveBox_, 2, 1);
  ftpForm->setColumnStretch(1, 1);
  auto* ftpButtons = new QHBoxLayout;
  ftpButtons->addWidget(testFtpButton_);
  ftpButtons->addStretch(1);
  ftpButtons->addWidget(saveFtpButton_);

  auto* ftpColumn = new QVBoxLayout;
  ftpColumn->addWidget(widgets::Heading("Setting FTP", 1.0, this));
  ftpColumn->addLayout(ftpForm);
  ftpColumn->addStretch(1);
  ftpColumn->addLayout(ftpButtons);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Sunken);
  auto* columns = new QHBoxLayout;
  columns->addLayout(mailColumn, 3);
  columns->addWidget(divider);
  columns->addLayout(ftpColumn, 2);

  closeButton_ = Button("bClose", "Close", this);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
  auto* closeRow = new QHBoxLayout;
  closeRow->addStretch(1);
  closeRow->addWidget(closeButton_);

  auto* top = new QVBoxLayout(this);
  top->addLayout(columns);
  top->addSpacing(8);
  top->addLayout(closeRow);
}

void MailSettingsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  LoadOnShow();
}

void MailSettingsWindow::LoadOnShow() {
  const MailSetup::Stored stored = setup_.LoadStored();
  if (stored.mail) SetMailControls(*stored.mail);
  if (stored.ftp) SetFtpControls(*stored.ftp);
}

void MailSettingsWindow::SaveMailClicked() { setup_.SaveMail(MailControls()); }

void MailSettingsWindow::SaveFtpClicked() { setup_.SaveFtp(FtpControls()); }

void MailSettingsWindow::TestMailClicked() { setup_.TestMail(MailControls()); }

void MailSettingsWindow::TestFtpClicked() { setup_.TestFtp(FtpControls()); }

void MailSettingsWindow::ShowMailPasswordClicked() {
  mailPasswordEdit_->setEchoMode(showMailPasswordBox_->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void MailSettingsWindow::ShowFtpPasswordClicked() {
  ftpPasswordEdit_->setEchoMode(showFtpPasswordBox_->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void MailSettingsWindow::ShowHelp() {
  // No compiled-help viewer exists here: the system's handler for the file opens it, at its first page.
  const QString file = QString::fromStdString(localPath_) + "help.chm";
  if (!QFileInfo::exists(file)) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "The Help file is not found !");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
}

bool MailSettingsWindow::eventFilter(QObject* watched, QEvent* event) {
  // The grid and its cell editors: a dropped key never reaches them.
  if (event->type() == QEvent::KeyPress && mailGrid_->currentRow() == kPortRow &&
      !PortKeyAllowed(*static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

MailFields MailSettingsWindow::MailControls() const {
  return {.host = GridValue(kSmtpServerRow).toStdString(),
          .port = GridValue(kPortRow).toStdString(),
          .login = GridValue(kLoginRow).toStdString(),
          .password = mailPasswordEdit_->text().toStdString(),
          .testAddress = GridValue(kTestAddressRow).toStdString(),
          .startTls = connectionBox_->currentIndex() != 0};
}

void MailSettingsWindow::SetMailControls(const MailFields& fields) {
  SetGridValue(kSmtpServerRow, fields.host);
  SetGridValue(kPortRow, fields.port);
  SetGridValue(kLoginRow, fields.login);
  mailPasswordEdit_->setText(QString::fromStdString(fields.password));
  SetGridValue(kTestAddressRow, fields.testAddress);
  connectionBox_->setCurrentIndex(fields.startTls ? 1 : 0);
}

FtpFields MailSettingsWindow::FtpControls() const {
  return {ftpAccountEdit_->text().toStdString(), ftpPasswordEdit_->text().toStdString(), passiveBox_->isChecked()};
}

void MailSettingsWindow::SetFtpControls(const FtpFields& fields) {
  passiveBox_->setChecked(fields.passive);
  ftpAccountEdit_->setText(QString::fromStdString(fields.account));
  ftpPasswordEdit_->setText(QString::fromStdString(fields.password));
}

QString MailSettingsWindow::GridValue(Row row) const { return mailGrid_->item(row, 1)->text(); }

void MailSettingsWindow::SetGridValue(Row row, const std::string& value) {
  mailGrid_->item(row, 1)->setText(QString::fromStdString(value));
}

}  // namespace quarn::support
