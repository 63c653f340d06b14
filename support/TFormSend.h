#pragma once

#include <QDialog>
#include <cstdint>

#include "link/MessageBoxes.h"
#include "support/SupportSending.h"

class QCheckBox;
class QProgressBar;
class QPushButton;

namespace quarn::support {

// The send-to-support window: mails the report, the data file and the criteria file, and/or uploads both
// files by FTP, with the accounts stored by the settings window. Opened modally by the main window's send
// button:
//
//   support::SendInputs inputs{.FlocalPath = FLocalPath,
//                              .CoeffTable = CoeffTable,
//                              .FSaveFile = DataFileName,
//                              .MailSupport = NSI.EMail,
//                              .FTPServer = NSI.FTPServer,
//                              .FTPPort = NSI.FTPPort,
//                              .FTPPath = NSI.FTPPath};
//   for (int i = 0; i < 5; ++i)  // the identity grid's value column: Port .. RANGE CODE
//     inputs.FParam[i] = IdentityRow(kIdentityRows[i]).toStdString();
//   support::TFormSend FormSend(std::move(inputs), Boxes(), this);
//   FormSend.exec();
//
// The first show offers the transports whose settings files can be read. Sending blocks the window under a
// busy cursor; PB1 shows each upload's progress.
class TFormSend : public QDialog {
  Q_OBJECT

 public:
  TFormSend(SendInputs inputs, MessageBoxes& boxes, QWidget* owner = nullptr);

  SupportSending& Sending() { return sending_; }

 public slots:
  void FormShow();
  void bSendClick();
  // Upload progress in bytes.
  void IdFTP1WorkBegin(int64_t maximum);
  void IdFTP1Work(int64_t count);
  void IdFTP1WorkEnd();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();

  SupportSending sending_;
  bool shown_ = false;
  int64_t progressDivisor_ = 1;  // keeps byte counts of huge files within the bar's int range

  QCheckBox* CBmail = nullptr;
  QCheckBox* CBFtp = nullptr;
  QProgressBar* PB1 = nullptr;
  QPushButton* bSend = nullptr;
  QPushButton* bClose = nullptr;
};

}  // namespace quarn::support
