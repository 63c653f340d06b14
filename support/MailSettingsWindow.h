#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "base/MessageBoxes.h"
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
//   support::MailSettingsWindow settings(programFolder, criteriaSettings.ftpServer, criteriaSettings.ftpPort,
//                                        criteriaSettings.ftpPath, Boxes(), this);
//   settings.exec();
//
// The first show loads the stored settings into the controls. The tests block the window while they run,
// under a busy cursor.
class MailSettingsWindow : public QDialog {
  Q_OBJECT

 public:
  // programFolder: the program folder ending in a separator (settings files, criteria.ini, commands.ini,
  // help.chm). ftpServer, ftpPort, ftpPath: the support FTP server of the criteria file, the folder as plain
  // text.
  MailSettingsWindow(std::string programFolder, std::string ftpServer, int32_t ftpPort, std::string ftpPath,
                     base::MessageBoxes& boxes, QWidget* owner = nullptr);

  // Rows of mailGrid_.
  enum Row { kSmtpServerRow, kPortRow, kLoginRow, kTestAddressRow, kRowCount };

  MailSetup& Setup() { return setup_; }

 public slots:
  void LoadOnShow();
  void SaveMailClicked();
  void SaveFtpClicked();
  void TestMailClicked();
  void TestFtpClicked();
  void ShowMailPasswordClicked();
  void ShowFtpPasswordClicked();
  // F1: opens help.chm from the program folder with the system's handler for the file (which cannot be
  // pointed at a topic), or says that it is missing.
  void ShowHelp();

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
  base::MessageBoxes& boxes_;
  MailSetup setup_;
  bool shown_ = false;

  QTableWidget* mailGrid_ = nullptr;
  QLineEdit* mailPasswordEdit_ = nullptr;
  QCheckBox* showMailPasswordBox_ = nullptr;
  QComboBox* connectionBox_ = nullptr;
  QPushButton* testMailButton_ = nullptr;
  QPushButton* saveMailButton_ = nullptr;
  QLineEdit* ftpAccountEdit_ = nullptr;
  QLineEdit* ftpPasswordEdit_ = nullptr;
  QCheckBox* showFtpPasswordBox_ = nullptr;
  QCheckBox* passiveBox_ = nullptr;
  QPushButton* testFtpButton_ = nullptr;
  QPushButton* saveFtpButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
};

}  // namespace quarn::support
