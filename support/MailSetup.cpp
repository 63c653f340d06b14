#include "support/MailSetup.h"

#include "base/Files.h"
#include "config/Criteria.h"
#include "support/PlainSmtp.h"

namespace quarn::support {

namespace {

constexpr const char* kTestSubject = "Test Message from WENLO";
constexpr const char* kIncomplete = "Not all parameters are filled !";

}  // namespace

MailSetup::MailSetup(std::string localPath, SupportFtpServer server, base::MessageBoxes& boxes)
    : localPath_(std::move(localPath)), server_(std::move(server)), boxes_(boxes) {
  mailClient_.SetMailer(kPlainAgentName);
  mailClient_.SetConnection(connection_);
}

void MailSetup::SetConnection(const ConnectionSettings& connection) {
  connection_ = connection;
  mailClient_.SetConnection(connection);
}

MailSetup::Stored MailSetup::LoadStored() {
  Stored stored;
  try {
    if (base::FileExists(localPath_ + config::kMailSettingsFileName)) {
      stored.mail = MailFieldsFrom(config::LoadMailSettings(localPath_));
    }
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error on a file\n\r") + error.what());
  }
  try {
    if (base::FileExists(localPath_ + config::kFtpSettingsFileName)) {
      stored.ftp = FtpFieldsFrom(config::LoadFtpSettings(localPath_));
    }
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error on a file\n\r") + error.what());
  }
  return stored;
}

bool MailSetup::SaveMail(const MailFields& fields) {
  if (fields.host.empty() || fields.login.empty() || fields.password.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "Not all parameters are filled!");
    return false;
  }
  try {
    config::SaveMailSettings(localPath_, MailRecord(fields));
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error on a file!\n\r") + error.what());
    return false;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, "Settings E-Mail saved !");
  return true;
}

bool MailSetup::SaveFtp(const FtpFields& fields) {
  if (server_.ftpServer.empty() || server_.ftpPort == 0 || fields.account.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kIncomplete);
    return false;
  }
  try {
    config::SaveFtpSettings(localPath_, FtpRecord(fields));
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error on a file!\n\r") + error.what());
    return false;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, "Settings FTP saved !");
  return true;
}

void MailSetup::TestMail(const MailFields& fields) {
  if (fields.host.empty() || fields.port.empty() || fields.login.empty() || fields.password.empty() ||
      fields.testAddress.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kIncomplete);
    return;
  }
  if (fields.startTls) {
    TestStartTlsMail(fields);
  } else {
    TestPlainMail(fields);
  }
}

void MailSetup::TestPlainMail(const MailFields& fields) {
  const std::optional<int32_t> port = WholeNumber(fields.port);
  if (!port || !IsPortNumber(*port)) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Port is not set!");
    return;
  }
  const PlainSmtpServer server{.host = fields.host,
                               .port = *port,
                               .login = fields.login,
                               .password = fields.password,
                               .connection = connection_};
  PlainMail mail;
  mail.senderName = kTestSubject;
  mail.senderAddress = fields.login;
  mail.recipients = fields.testAddress;
  mail.subject = kTestSubject;
  mail.bodyLines = {"Test mail SUCCESS!"};
  try {
    const BusyScope busy(feedback_);
    // Built afresh for each attempt, so every test mail carries exactly one attachment.
    mail.attachments.push_back(LoadAttachment(localPath_ + config::kCriteriaFileName));
    SendPlainMail(server, mail);
  } catch (const MailError& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, MailErrorText(error));
    return;
  } catch (const std::runtime_error& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, std::string("Error : ") + error.what());
    return;
  }
  OfferMailSave(fields);
}

void MailSetup::TestStartTlsMail(const MailFields& fields) {
  const std::optional<int32_t> port = WholeNumber(fields.port);
  if (!port) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, NotAWholeNumberText(fields.port));
    return;
  }
  mailClient_.SetHost(fields.host);
  mailClient_.SetPort(StartTlsPort(*port));
  mailClient_.SetLogin(fields.login);
  mailClient_.SetPassword(fields.password);
  mailClient_.SetFromEmail(fields.login);
  mailClient_.Recipients().clear();
  mailClient_.Recipients().push_back(fields.testAddress);
  mailClient_.AddText("Line1 Test mail SUCCESS!");
  mailClient_.AddText("Line2 Test mail SUCCESS!");
  mailClient_.AttachFiles().push_back(localPath_ + config::kCriteriaFileName);
  bool sent = false;
  try {
    const BusyScope busy(feedback_);
    sent = mailClient_.SendMessage(kTestSubject, true);
  } catch (const std::runtime_error& error) {
    // An unreadable attachment leaves the message filled; the next attempt must not carry it twice.
    mailClient_.Clear();
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, error.what());
    return;
  }
  if (sent) {
    OfferMailSave(fields);
  } else {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Error sending mail ! Check setting.");
  }
}

void MailSetup::OfferMailSave(const MailFields& fields) {
  if (boxes_.Show(base::BoxKind::Information, base::BoxButtons::YesNo, "Test mail send!\n\rSave setting?") ==
      base::BoxAnswer::Yes) {
    SaveMail(fields);
  }
}

void MailSetup::TestFtp(const FtpFields& fields) {
  if (server_.ftpServer.empty() || server_.ftpPort == 0 || fields.account.empty() || fields.password.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kIncomplete);
    return;
  }
  server_.ftpPath = TestUploadFolder(server_.ftpPath);
  if (!IsPortNumber(server_.ftpPort)) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Port is not set!");
    return;
  }
  // The session closes the connection whichever way this function is left.
  FtpSession session({.host = server_.ftpServer,
                      .port = server_.ftpPort,
                      .user = fields.account,
                      .password = fields.password,
                      .passive = fields.passive,
                      .connection = connection_});
  try {
    const BusyScope busy(feedback_);
    session.Connect();
  } catch (const FtpError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error to connect FTP\n\r") + error.what());
    return;
  }
  try {
    const BusyScope busy(feedback_);
    session.Upload(localPath_ + "commands.ini", server_.ftpPath, "commands.ini");
  } catch (const FtpError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                std::string("Error sending the file to FTP\n\r") + error.what());
    const BusyScope busy(feedback_);
    session.Disconnect();
    return;
  }
  if (boxes_.Show(base::BoxKind::Information, base::BoxButtons::YesNo,
                  "Test file <commands.ini> successfully sent\n\rSave Settings?") == base::BoxAnswer::Yes) {
    SaveFtp(fields);
  }
  const BusyScope busy(feedback_);
  session.Disconnect();
}

}  // namespace quarn::support
