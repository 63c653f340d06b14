#include "support/Transfers.h"

#include "base/Files.h"

namespace quarn::support {

namespace {

// Reads one settings file into the record; false when it is absent or was told unreadable.
template <typename Record, typename Loader>
std::optional<Record> LoadRecord(const std::string& folder, const char* fileName, Loader load,
                                 std::string_view fileErrorText, base::MessageBoxes& boxes) {
  try {
    if (base::FileExists(folder + fileName)) return load(folder);
  } catch (const base::FileError& error) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string(fileErrorText) + error.what());
  }
  return std::nullopt;
}

}  // namespace

StoredAccounts LoadStoredAccounts(const std::string& folder, std::string_view fileErrorText,
                                  base::MessageBoxes& boxes) {
  StoredAccounts stored;
  stored.mail = LoadRecord<config::MailSettingsRecord>(folder, config::kMailSettingsFileName, &config::LoadMailSettings,
                                                       fileErrorText, boxes);
  stored.ftp = LoadRecord<config::FtpSettingsRecord>(folder, config::kFtpSettingsFileName, &config::LoadFtpSettings,
                                                     fileErrorText, boxes);
  return stored;
}

bool SendPlain(const PlainSmtpServer& server, const PlainMail& mail, const NetworkFeedback& feedback,
               base::MessageBoxes& boxes) {
  try {
    const BusyScope busy(feedback);
    SendPlainMail(server, mail);
  } catch (const MailError& error) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, MailErrorText(error));
    return false;
  }
  return true;
}

MailOutcome SendStartTls(StartTlsMailClient& client, const StartTlsMail& mail, const NetworkFeedback& feedback,
                         base::MessageBoxes& boxes) {
  const std::optional<int32_t> port = WholeNumber(mail.portText);
  if (!port) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, NotAWholeNumberText(mail.portText));
    return MailOutcome::kFailed;
  }
  client.SetHost(mail.host);
  client.SetPort(StartTlsPort(*port));
  client.SetLogin(mail.login);
  client.SetPassword(mail.password);
  client.SetFromEmail(mail.login);
  client.Recipients().clear();
  client.Recipients().push_back(mail.recipients);
  for (const std::string& line : mail.textLines) client.AddText(line);
  for (const std::string& path : mail.attachFiles) client.AttachFiles().push_back(path);
  bool sent = false;
  try {
    const BusyScope busy(feedback);
    sent = client.SendMessage(mail.subject, true);
  } catch (const std::runtime_error& error) {
    // An unreadable attachment leaves the message filled; the next attempt must not carry it twice.
    client.Clear();
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, error.what());
    return MailOutcome::kFailed;
  }
  if (!sent) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Error sending mail ! Check setting.");
    return MailOutcome::kRefused;
  }
  return MailOutcome::kSent;
}

void UploadByFtp(const FtpAccount& account, const std::vector<FtpFile>& files, std::string_view connectErrorText,
                 const NetworkFeedback& feedback, base::MessageBoxes& boxes, const std::function<void()>& uploaded) {
  if (account.host.empty() || account.port == 0 || account.user.empty() || account.password.empty()) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "Not all parameters are filled !");
    return;
  }
  if (!IsPortNumber(account.port)) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Port is not set!");
    return;
  }
  // The session closes the connection whichever way this function is left.
  FtpSession session(account, feedback.progress);
  try {
    const BusyScope busy(feedback);
    session.Connect();
  } catch (const FtpError& error) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string(connectErrorText) + error.what());
    return;
  }
  try {
    const BusyScope busy(feedback);
    for (const FtpFile& file : files) session.Upload(file.localPath, file.remoteFolder, file.remoteName);
  } catch (const FtpError& error) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
               std::string("Error sending the file to FTP\n\r") + error.what());
    const BusyScope busy(feedback);
    session.Disconnect();
    return;
  }
  uploaded();
  const BusyScope busy(feedback);
  session.Disconnect();
}

}  // namespace quarn::support
