#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/MessageBoxes.h"
#include "support/Accounts.h"
#include "support/StartTlsMailClient.h"

namespace quarn::support {

// What the settings window does with the user's mail and FTP account, without the window: load and save the
// settings files, send a test mail, upload a test file. Every outcome is told in a message box. The calls
// block while they talk to a server; GUI thread only.
class MailSetup {
 public:
  // localPath: the program folder ending in a separator (settings files, criteria.ini, commands.ini).
  MailSetup(std::string localPath, SupportFtpServer server, base::MessageBoxes& boxes);

  struct Stored {
    std::optional<MailFields> mail;  // nothing when setting2.bin is absent or could not be read
    std::optional<FtpFields> ftp;    // likewise for setting3.bin
  };
  // Reads both settings files; a file that exists but cannot be read is reported.
  Stored LoadStored();

  // Check and save; true when the file was written.
  bool SaveMail(const MailFields& fields);
  bool SaveFtp(const FtpFields& fields);

  // Send a test mail to the test address; on success the user may save the account. The fields are what the
  // controls hold; a save asked for afterwards stores them.
  void TestMail(const MailFields& fields);
  // Upload commands.ini to the support FTP server; on success the user may save the account.
  void TestFtp(const FtpFields& fields);

  // The folder for the test upload; a test adds a missing trailing "\" for good.
  const std::string& FtpPath() const { return server_.ftpPath; }

  // The mail component of the "SSL/TSL" connection choice.
  StartTlsMailClient& MailClient() { return mailClient_; }

  // Time limits of every connection; the defaults are ConnectionSettings'.
  void SetConnection(const ConnectionSettings& connection);
  void SetFeedback(NetworkFeedback feedback) { feedback_ = std::move(feedback); }

 private:
  void TestPlainMail(const MailFields& fields);
  void TestStartTlsMail(const MailFields& fields);
  void OfferMailSave(const MailFields& fields);
  // Writes a complete account with save and says so; an incomplete one or a write that fails is told.
  bool SaveChecked(bool complete, const char* incompleteText, const std::function<void()>& save, const char* savedText);

  std::string localPath_;
  SupportFtpServer server_;
  base::MessageBoxes& boxes_;
  StartTlsMailClient mailClient_;
  ConnectionSettings connection_;
  NetworkFeedback feedback_;
};

}  // namespace quarn::support
