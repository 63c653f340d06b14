#include "support/TFormSend.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>

#include "support/WindowFeedback.h"

namespace quarn::support {

TFormSend::TFormSend(SendInputs inputs, MessageBoxes& boxes, QWidget* owner)
    : QDialog(owner), sending_(std::move(inputs), boxes) {
  setObjectName("FormSend");
  setWindowTitle("Send info to support");
  BuildControls();
  NetworkFeedback feedback = BusyCursorFeedback();
  feedback.progress = {.onWorkBegin = [this](std::int64_t total) { IdFTP1WorkBegin(total); },
                       .onWork = [this](std::int64_t count) { IdFTP1Work(count); },
                       .onWorkEnd = [this] { IdFTP1WorkEnd(); }};
  sending_.SetFeedback(std::move(feedback));
}

void TFormSend::BuildControls() {
  auto* group = new QGroupBox("Select mode", this);
  group->setObjectName("GroupBox1");
  CBmail = new QCheckBox(" by e-mail", group);
  CBmail->setObjectName("CBmail");
  CBFtp = new QCheckBox(" by FTP", group);
  CBFtp->setObjectName("CBFtp");
  for (QCheckBox* box : {CBmail, CBFtp}) {
    box->setEnabled(false);
    box->setChecked(false);
  }
  PB1 = new QProgressBar(group);
  PB1->setObjectName("PB1");
  PB1->setTextVisible(false);
  PB1->hide();
  // The bar's place stays reserved while it is hidden, so the window does not jump when an upload starts.
  QSizePolicy keepPlace = PB1->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  PB1->setSizePolicy(keepPlace);
  PB1->setMinimumWidth(160);

  auto* choices = new QGridLayout(group);
  choices->addWidget(CBmail, 0, 0);
  choices->addWidget(CBFtp, 1, 0);
  choices->addWidget(PB1, 1, 1);
  choices->setColumnStretch(1, 1);

  bSend = new QPushButton(" Send", this);
  bSend->setObjectName("bSend");
  bSend->setAutoDefault(false);
  connect(bSend, &QPushButton::clicked, this, &TFormSend::bSendClick);
  bClose = new QPushButton("Close", this);
  bClose->setObjectName("bClose");
  bClose->setAutoDefault(false);
  connect(bClose, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bSend);
  buttons->addStretch(1);
  buttons->addWidget(bClose);

  auto* top = new QVBoxLayout(this);
  top->addWidget(group);
  top->addLayout(buttons);
  setMinimumWidth(360);
}

void TFormSend::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TFormSend::FormShow() {
  const SupportSending::Offered offered = sending_.LoadStored();
  if (offered.mail) CBmail->setEnabled(true);
  if (offered.ftp) CBFtp->setEnabled(true);
}

void TFormSend::bSendClick() { sending_.Send(CBmail->isChecked(), CBFtp->isChecked()); }

void TFormSend::IdFTP1WorkBegin(int64_t maximum) {
  progressDivisor_ = maximum / INT_MAX + 1;
  PB1->reset();
  PB1->setRange(0, static_cast<int>(maximum / progressDivisor_));
  PB1->show();
  PB1->setValue(0);
  PaintPending();
}

void TFormSend::IdFTP1Work(int64_t count) {
  PB1->setValue(static_cast<int>(count / progressDivisor_));
  PaintPending();
}

void TFormSend::IdFTP1WorkEnd() {
  PB1->hide();
  PaintPending();
}

}  // namespace quarn::support
