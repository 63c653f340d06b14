#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "config/StoredSettings.h"
#include "support/Accounts.h"
#include "support/StartTlsMailClient.h"
#include "support/SupportReport.h"

namespace quarn::support {

// What the main window hands the send window. Texts are UTF-8.
struct SendInputs {
  std::string programFolder{};      // program folder ending in a separator: settings files and criteria.ini
  base::SensorIdentity identity{};  // as the main window's identity grid shows it
  std::string dataFilePath{};       // full path of the measurement data file
  std::string supportMail{};        // support address(es), comma-separated
  std::string ftpServer{};
  int32_t ftpPort = 0;
  std::string ftpPath{};  // scrambled folder text from the criteria file
};

// The send window without the window: which transports the stored settings offer, and sending the report,
// the data file and the criteria file by the chosen ones. Every outcome is told in a message box. Send blocks
// while it talks to a server; GUI thread only.
class SupportSending {
 public:
  SupportSending(SendInputs inputs, base::MessageBoxes& boxes);

  struct Offered {
    bool mail = false;
    bool ftp = false;
  };
  // Loads the window's copies of both settings files; a transport is offered when its file was read.
  Offered LoadStored();

  // Mails and/or uploads, in that order; an incomplete mail account or a failed plain mail ends it before
  // the upload.
  void Send(bool byMail, bool byFtp);

  const std::vector<std::string>& Report() const { return report_; }

  // Files sent beside the data file, each only while it exists and is chosen (both are at first): the
  // evaluation report the windows export beside the data file (its name with ".pdf") and the calibration log
  // of its folder.
  std::string EvaluationReportPath() const;
  std::string CalibrationLogPath() const;
  void SetAttachEvaluationReport(bool attach) { attachReport_ = attach; }
  void SetAttachCalibrationLog(bool attach) { attachLog_ = attach; }
  // What a mail attaches, in order: the data file, the criteria file, then the report and the log when chosen
  // and present.
  std::vector<std::string> Attachments() const;

  StartTlsMailClient& MailClient() { return mailClient_; }

  void SetConnection(const ConnectionSettings& connection);
  void SetFeedback(NetworkFeedback feedback) { feedback_ = std::move(feedback); }
  // The port of the unencrypted path, 25 unless a test points it at its own server.
  void SetPlainPort(int port) { plainPort_ = port; }

 private:
  // False when the upload must not follow.
  bool SendMail();
  bool SendByPlainSmtp(const std::string& host, const std::string& login, const std::string& password);
  bool SendByMailComponent(const std::string& host, const std::string& login, const std::string& password);
  void SendFtp();

  SendInputs inputs_;
  base::MessageBoxes& boxes_;
  std::vector<std::string> report_;
  config::MailSettingsRecord mailCopy_{};
  config::FtpSettingsRecord ftpCopy_{};
  StartTlsMailClient mailClient_;
  ConnectionSettings connection_;
  NetworkFeedback feedback_;
  int plainPort_ = 25;
  bool attachReport_ = true;
  bool attachLog_ = true;
};

}  // namespace quarn::support
