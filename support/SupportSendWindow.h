#pragma once

#include <QDialog>
#include <cstdint>

#include "base/MessageBoxes.h"
#include "support/SupportSending.h"

class QCheckBox;
class QProgressBar;
class QPushButton;

namespace quarn::support {

// The send-to-support window: mails the report, the data file and the criteria file, and/or uploads both
// files by FTP, with the evaluation report and the calibration log beside them where they exist and are ticked, with
// the accounts stored by the settings window. The main window's send button fills a SendInputs (program folder, the
// identity grid's five values, the coefficient list as text, the data file, and the support address and FTP server from
// the criteria file) and opens this window modally.
//
// The first show offers the transports whose settings files can be read. Sending blocks the window under a
// busy cursor; progressBar_ shows each upload's progress.
class SupportSendWindow : public QDialog {
  Q_OBJECT

 public:
  SupportSendWindow(SendInputs inputs, base::MessageBoxes& boxes, QWidget* owner = nullptr);

  SupportSending& Sending() { return sending_; }

 public slots:
  void LoadOnShow();
  void SendClicked();
  // Upload progress in bytes.
  void UploadStarted(int64_t maximum);
  void UploadProgress(int64_t count);
  void UploadFinished();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();

  SupportSending sending_;
  bool shown_ = false;
  int64_t progressDivisor_ = 1;  // keeps byte counts of huge files within the bar's int range

  QCheckBox* mailBox_ = nullptr;
  QCheckBox* ftpBox_ = nullptr;
  QCheckBox* reportBox_ = nullptr;  // the evaluation report beside the data file
  QCheckBox* logBox_ = nullptr;     // the calibration log of its folder
  QProgressBar* progressBar_ = nullptr;
  QPushButton* sendButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
};

}  // namespace quarn::support
