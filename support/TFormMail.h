#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "link/MessageBoxes.h"
#include "support/MailSetup.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quarn::support {

// The mail and FTP settings window: the user's own mail and FTP account, a test of each, and saving them to
// the settings files. Opened modally from the main window's menu "Settings":
//
//   support::TFormMail FormMail(FLocalPath, NSI.FTPServer, NSI.FTPPort, NSI.FTPPath, Boxes(), this);
//   FormMail.exec();
//
// The first show loads the stored settings into the controls. The tests block the window while they run,
// under a busy cursor.
class TFormMail : public QDialog {
  Q_OBJECT

 public:
  // FlocalPath: the program folder ending in a separator (settings files, criteria.ini, commands.ini,
  // help.chm). FTPServer, FTPPort, FTPPath: the support FTP server of the criteria file, the folder as plain
  // text.
  TFormMail(std::string FlocalPath, std::string FTPServer, int32_t FTPPort, std::string FTPPath,
            MessageBoxes& boxes, QWidget* owner = nullptr);

  // Rows of VLE1.
  enum Row { kSmtpServerRow, kPortRow, kLoginRow, kTestAddressRow, kRowCount };

  MailSetup& Setup() { return setup_; }

 public slots:
  void FormShow();
  void bSaveEClick();
  void bSaveFtpClick();
  void bTestEClick();
  void bTestFtpClick();
  void CBpassEClick();
  void CBpassFtpClick();
  // F1: opens help.chm from the program folder with the system's handler for the file (which cannot be
  // pointed at a topic), or says that it is missing.
  void FormHelp();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  MailFields MailControls() const;
  void SetMailControls(const MailFields& fields);
  FtpFields FtpControls() const;
  void SetFtpControls(const FtpFields& fields);
  QString GridValue(Row row) const;
  void SetGridValue(Row row, const std::string& value);

  std::string localPath_;
  MessageBoxes& boxes_;
  MailSetup setup_;
  bool shown_ = false;

  QTableWidget* VLE1 = nullptr;
  QLineEdit* ePassE = nullptr;
  QCheckBox* CBpassE = nullptr;
  QComboBox* CB1 = nullptr;
  QPushButton* bTestE = nullptr;
  QPushButton* bSaveE = nullptr;
  QLineEdit* eAccountFTP = nullptr;
  QLineEdit* ePassFtp = nullptr;
  QCheckBox* CBpassFtp = nullptr;
  QCheckBox* CBpassive = nullptr;
  QPushButton* bTestFtp = nullptr;
  QPushButton* bSaveFtp = nullptr;
  QPushButton* bClose = nullptr;
};

}  // namespace quarn::support
