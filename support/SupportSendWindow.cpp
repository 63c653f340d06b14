#include "support/SupportSendWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>

#include "support/WindowFeedback.h"

namespace quarn::support {

SupportSendWindow::SupportSendWindow(SendInputs inputs, base::MessageBoxes& boxes, QWidget* owner)
    : QDialog(owner), sending_(std::move(inputs), boxes) {
  setObjectName("FormSend");
  setWindowTitle("Send info to support");
  BuildControls();
  NetworkFeedback feedback = BusyCursorFeedback();
  feedback.progress = {.onWorkBegin = [this](std::int64_t total) { UploadStarted(total); },
                       .onWork = [this](std::int64_t count) { UploadProgress(count); },
                       .onWorkEnd = [this] { UploadFinished(); }};
  sending_.SetFeedback(std::move(feedback));
}

void SupportSendWindow::BuildControls() {
  auto* group = new QGroupBox("Select mode", this);
  group->setObjectName("GroupBox1");
  mailBox_ = new QCheckBox(" by e-mail", group);
  mailBox_->setObjectName("CBmail");
  ftpBox_ = new QCheckBox(" by FTP", group);
  ftpBox_->setObjectName("CBFtp");
  for (QCheckBox* box : {mailBox_, ftpBox_}) {
    box->setEnabled(false);
    box->setChecked(false);
  }
  progressBar_ = new QProgressBar(group);
  progressBar_->setObjectName("PB1");
  progressBar_->setTextVisible(false);
  progressBar_->hide();
  // The bar's place stays reserved while it is hidden, so the window does not jump when an upload starts.
  QSizePolicy keepPlace = progressBar_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  progressBar_->setSizePolicy(keepPlace);
  progressBar_->setMinimumWidth(160);

  auto* choices = new QGridLayout(group);
  choices->addWidget(mailBox_, 0, 0);
  choices->addWidget(ftpBox_, 1, 0);
  choices->addWidget(progressBar_, 1, 1);
  choices->setColumnStretch(1, 1);

  // Beside the data file: the report and the log, ticked where they exist, not offered where they do not.
  auto* attach = new QGroupBox("Attach", this);
  attach->setObjectName("GroupAttach");
  reportBox_ = new QCheckBox(" evaluation report", attach);
  reportBox_->setObjectName("CBReport");
  logBox_ = new QCheckBox(" calibration log", attach);
  logBox_->setObjectName("CBCalibrationLog");
  for (auto [box, path] :
       {std::pair{reportBox_, sending_.EvaluationReportPath()}, std::pair{logBox_, sending_.CalibrationLogPath()}}) {
    const QFileInfo file(QString::fromStdString(path));
    box->setText(box->text() + " (" + file.fileName() + ")");
    box->setToolTip(QDir::toNativeSeparators(file.filePath()));
    box->setEnabled(file.isFile());
    box->setChecked(file.isFile());
  }
  auto* attachments = new QVBoxLayout(attach);
  attachments->addWidget(reportBox_);
  attachments->addWidget(logBox_);

  sendButton_ = new QPushButton(" Send", this);
  sendButton_->setObjectName("bSend");
  sendButton_->setAutoDefault(false);
  connect(sendButton_, &QPushButton::clicked, this, &SupportSendWindow::SendClicked);
  closeButton_ = new QPushButton("Close", this);
  closeButton_->setObjectName("bClose");
  closeButton_->setAutoDefault(false);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(sendButton_);
  buttons->addStretch(1);
  buttons->addWidget(closeButton_);

  auto* top = new QVBoxLayout(this);
  top->addWidget(group);
  top->addWidget(attach);
  top->addLayout(buttons);
  setMinimumWidth(360);
}

void SupportSendWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  LoadOnShow();
}

void SupportSendWindow::LoadOnShow() {
  const SupportSending::Offered offered = sending_.LoadStored();
  if (offered.mail) mailBox_->setEnabled(true);
  if (offered.ftp) ftpBox_->setEnabled(true);
}

void SupportSendWindow::SendClicked() {
  sending_.SetAttachEvaluationReport(reportBox_->isChecked());
  sending_.SetAttachCalibrationLog(logBox_->isChecked());
  sending_.Send(mailBox_->isChecked(), ftpBox_->isChecked());
}

void SupportSendWindow::UploadStarted(int64_t maximum) {
  progressDivisor_ = maximum / INT_MAX + 1;
  progressBar_->reset();
  progressBar_->setRange(0, static_cast<int>(maximum / progressDivisor_));
  progressBar_->show();
  progressBar_->setValue(0);
  PaintPending();
}

void SupportSendWindow::UploadProgress(int64_t count) {
  progressBar_->setValue(static_cast<int>(count / progressDivisor_));
  PaintPending();
}

void SupportSendWindow::UploadFinished() {
  progressBar_->hide();
  PaintPending();
}

}  // namespace quarn::support
