#include "support/TFormMail.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFont>
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

namespace quarn::support {

namespace {

constexpr int kMaxFieldLength = 30;
constexpr const char* kRowKeys[TFormMail::kRowCount] = {"SMTP server", "Port SMTP", "e-mail (login)",
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
    case Qt::Key_Delete:
      return true;
    default:
      break;
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

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor != nullptr) editor->installEventFilter(filter_);
    return editor;
  }

 private:
  QObject* filter_;
};

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

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

TFormMail::TFormMail(std::string FlocalPath, std::string FTPServer, int32_t FTPPort, std::string FTPPath,
                     MessageBoxes& boxes, QWidget* owner)
    : QDialog(owner),
      localPath_(FlocalPath),
      boxes_(boxes),
      setup_(std::move(FlocalPath), {std::move(FTPServer), FTPPort, std::move(FTPPath)}, boxes) {
  setObjectName("FormMail");
  setWindowTitle("Mail configuration");
  BuildControls();
  setup_.SetFeedback(BusyCursorFeedback());
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &TFormMail::FormHelp);
}

void TFormMail::BuildControls() {
  VLE1 = new QTableWidget(kRowCount, 2, this);
  VLE1->setObjectName("VLE1");
  VLE1->setHorizontalHeaderLabels({"Key", "Value"});
  VLE1->verticalHeader()->hide();
  VLE1->horizontalHeader()->setStretchLastSection(true);
  VLE1->setSelectionMode(QAbstractItemView::SingleSelection);
  VLE1->setEditTriggers(QAbstractItemView::AllEditTriggers);
  VLE1->setItemDelegate(new FilteredEditorDelegate(this, VLE1));
  VLE1->installEventFilter(this);
  for (int row = 0; row < kRowCount; ++row) {
    auto* key = new QTableWidgetItem(kRowKeys[row]);
    key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    VLE1->setItem(row, 0, key);
    VLE1->setItem(row, 1, new QTableWidgetItem(row == kPortRow ? "25" : ""));
  }
  VLE1->resizeColumnToContents(0);
  VLE1->setColumnWidth(0, VLE1->columnWidth(0) + 16);
  VLE1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  VLE1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  VLE1->setFixedHeight(VLE1->horizontalHeader()->sizeHint().height() + kRowCount * VLE1->rowHeight(0) +
                       2 * VLE1->frameWidth());
  VLE1->setMinimumWidth(320);
  VLE1->setCurrentCell(0, 1);

  ePassE = LimitedEdit("ePassE", true, this);
  CBpassE = new QCheckBox("Show password", this);
  CBpassE->setObjectName("CBpassE");
  connect(CBpassE, &QCheckBox::toggled, this, &TFormMail::CBpassEClick);
  CB1 = new QComboBox(this);
  CB1->setObjectName("CB1");
  CB1->addItems({"none ciphering", "SSL/TSL"});
  CB1->setCurrentIndex(0);
  bTestE = Button("bTestE", "Test E-Mail", this);
  connect(bTestE, &QPushButton::clicked, this, &TFormMail::bTestEClick);
  bSaveE = Button("bSaveE", "save", this);
  connect(bSaveE, &QPushButton::clicked, this, &TFormMail::bSaveEClick);

  auto* mailForm = new QGridLayout;
  auto* passwordLabel = new QLabel("Password", this);
  passwordLabel->setBuddy(ePassE);
  mailForm->addWidget(passwordLabel, 0, 0);
  mailForm->addWidget(ePassE, 0, 1);
  mailForm->addWidget(CBpassE, 0, 2);
  auto* connectionLabel = new QLabel("Connection", this);
  connectionLabel->setBuddy(CB1);
  mailForm->addWidget(connectionLabel, 1, 0);
  mailForm->addWidget(CB1, 1, 1);
  mailForm->setColumnStretch(1, 1);
  auto* mailButtons = new QHBoxLayout;
  mailButtons->addWidget(bTestE);
  mailButtons->addStretch(1);
  mailButtons->addWidget(bSaveE);

  auto* mailColumn = new QVBoxLayout;
  mailColumn->addWidget(Heading("Setting E-Mail", this));
  mailColumn->addWidget(VLE1);
  mailColumn->addLayout(mailForm);
  mailColumn->addStretch(1);
  mailColumn->addLayout(mailButtons);

  eAccountFTP = LimitedEdit("eAccountFTP", false, this);
  ePassFtp = LimitedEdit("ePassFtp", true, this);
  CBpassFtp = new QCheckBox("Show password", this);
  CBpassFtp->setObjectName("CBpassFtp");
  connect(CBpassFtp, &QCheckBox::toggled, this, &TFormMail::CBpassFtpClick);
  CBpassive = new QCheckBox("Passive mode", this);
  CBpassive->setObjectName("CBpassive");
  bTestFtp = Button("bTestFtp", "Test FTP", this);
  connect(bTestFtp, &QPushButton::clicked, this, &TFormMail::bTestFtpClick);
  bSaveFtp = Button("bSaveFtp", "save", this);
  connect(bSaveFtp, &QPushButton::clicked, this, &TFormMail::bSaveFtpClick);

  auto* ftpForm = new QGridLayout;
  auto* accountLabel = new QLabel("Account", this);
  accountLabel->setBuddy(eAccountFTP);
  ftpForm->addWidget(accountLabel, 0, 0);
  ftpForm->addWidget(eAccountFTP, 0, 1);
  auto* ftpPasswordLabel = new QLabel("Password", this);
  ftpPasswordLabel->setBuddy(ePassFtp);
  ftpForm->addWidget(ftpPasswordLabel, 1, 0);
  ftpForm->addWidget(ePassFtp, 1, 1);
  ftpForm->addWidget(CBpassFtp, 1, 2);
  ftpForm->addWidget(CBpassive, 2, 1);
  ftpForm->setColumnStretch(1, 1);
  auto* ftpButtons = new QHBoxLayout;
  ftpButtons->addWidget(bTestFtp);
  ftpButtons->addStretch(1);
  ftpButtons->addWidget(bSaveFtp);

  auto* ftpColumn = new QVBoxLayout;
  ftpColumn->addWidget(Heading("Setting FTP", this));
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

  bClose = Button("bClose", "Close", this);
  connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
  auto* closeRow = new QHBoxLayout;
  closeRow->addStretch(1);
  closeRow->addWidget(bClose);

  auto* top = new QVBoxLayout(this);
  top->addLayout(columns);
  top->addSpacing(8);
  top->addLayout(closeRow);
}

void TFormMail::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TFormMail::FormShow() {
  const MailSetup::Stored stored = setup_.LoadStored();
  if (stored.mail) SetMailControls(*stored.mail);
  if (stored.ftp) SetFtpControls(*stored.ftp);
}

void TFormMail::bSaveEClick() { setup_.SaveMail(MailControls()); }

void TFormMail::bSaveFtpClick() { setup_.SaveFtp(FtpControls()); }

void TFormMail::bTestEClick() { setup_.TestMail(MailControls()); }

void TFormMail::bTestFtpClick() { setup_.TestFtp(FtpControls()); }

void TFormMail::CBpassEClick() {
  ePassE->setEchoMode(CBpassE->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TFormMail::CBpassFtpClick() {
  ePassFtp->setEchoMode(CBpassFtp->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TFormMail::FormHelp() {
  // No compiled-help viewer exists here: the system's handler for the file opens it, at its first page.
  const QString file = QString::fromStdString(localPath_) + "help.chm";
  if (!QFileInfo::exists(file)) {
    boxes_.Show(BoxKind::Warning, BoxButtons::Ok, "The Help file is not found !");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
}

bool TFormMail::eventFilter(QObject* watched, QEvent* event) {
  // The grid and its cell editors: a dropped key never reaches them.
  if (event->type() == QEvent::KeyPress && VLE1->currentRow() == kPortRow &&
      !PortKeyAllowed(*static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

MailFields TFormMail::MailControls() const {
  return {.host = GridValue(kSmtpServerRow).toStdString(),
          .port = GridValue(kPortRow).toStdString(),
          .login = GridValue(kLoginRow).toStdString(),
          .password = ePassE->text().toStdString(),
          .testAddress = GridValue(kTestAddressRow).toStdString(),
          .startTls = CB1->currentIndex() != 0};
}

void TFormMail::SetMailControls(const MailFields& fields) {
  SetGridValue(kSmtpServerRow, fields.host);
  SetGridValue(kPortRow, fields.port);
  SetGridValue(kLoginRow, fields.login);
  ePassE->setText(QString::fromStdString(fields.password));
  SetGridValue(kTestAddressRow, fields.testAddress);
  CB1->setCurrentIndex(fields.startTls ? 1 : 0);
}

FtpFields TFormMail::FtpControls() const {
  return {eAccountFTP->text().toStdString(), ePassFtp->text().toStdString(), CBpassive->isChecked()};
}

void TFormMail::SetFtpControls(const FtpFields& fields) {
  CBpassive->setChecked(fields.passive);
  eAccountFTP->setText(QString::fromStdString(fields.account));
  ePassFtp->setText(QString::fromStdString(fields.password));
}

QString TFormMail::GridValue(Row row) const { return VLE1->item(row, 1)->text(); }

void TFormMail::SetGridValue(Row row, const std::string& value) {
  VLE1->item(row, 1)->setText(QString::fromStdString(value));
}

}  // namespace quarn::support
