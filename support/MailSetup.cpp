#include "support/MailSetup.h"

#include "base/Files.h"
#include "config/Criteria.h"
#include "support/PlainSmtp.h"
#include "support/Transfers.h"

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
  const StoredAccounts accounts = LoadStoredAccounts(localPath_, "Error on a file\n\r", boxes_);
  Stored stored;
  if (accounts.mail) stored.mail = MailFieldsFrom(*accounts.mail);
  if (accounts.ftp) stored.ftp = FtpFieldsFrom(*accounts.ftp);
  return stored;
}

bool MailSetup::SaveMail(const MailFields& fields) {
  const bool complete = !fields.host.empty() && !fields.login.empty() && !fields.password.empty();
  return SaveChecked(
      complete, "Not all parameters are filled!", [&] { config::SaveMailSettings(localPath_, MailRecord(fields)); },
      "Settings E-Mail saved !");
}

bool MailSetup::SaveFtp(const FtpFields& fields) {
  const bool complete = !server_.ftpServer.empty() && server_.ftpPort != 0 && !fields.account.empty();
  return SaveChecked(
      complete, kIncomplete, [&] { config::SaveFtpSettings(localPath_, FtpRecord(fields)); }, "Settings FTP saved !");
}

bool MailSetup::SaveChecked(bool complete, const char* incompleteText, const std::function<void()>& save,
                            const char* savedText) {
  if (!complete) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, incompleteText);
    return false;
  }
  try {
    save();
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("Error on a file!\n\r") + error.what());
    return false;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, savedText);
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
    // Read afresh for each attempt, so every test mail carries exactly one attachment.
    mail.attachments.push_back(LoadAttachment(localPath_ + config::kCriteriaFileName));
  } catch (const std::runtime_error& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, std::string("Error : ") + error.what());
    return;
  }
  if (!SendPlain(server, mail, feedback_, boxes_)) return;
  OfferMailSave(fields);
}

void MailSetup::TestStartTlsMail(const MailFields& fields) {
  const StartTlsMail mail{.host = fields.host,
                          .portText = fields.port,
                          .login = fields.login,
                          .password = fields.password,
                          .recipients = fields.testAddress,
                          .subject = kTestSubject,
                          .textLines = {"Line1 Test mail SUCCESS!", "Line2 Test mail SUCCESS!"},
                          .attachFiles = {localPath_ + config::kCriteriaFileName}};
  if (SendStartTls(mailClient_, mail, feedback_, boxes_) == MailOutcome::kSent) OfferMailSave(fields);
}

void MailSetup::OfferMailSave(const MailFields& fields) {
  if (boxes_.Show(base::BoxKind::Information, base::BoxButtons::YesNo, "Test mail send!\n\rSave setting?") ==
      base::BoxAnswer::Yes) {
    SaveMail(fields);
  }
}

void MailSetup::TestFtp(const FtpFields& fields) {
  const FtpAccount account{.host = server_.ftpServer,
                           .port = server_.ftpPort,
                           .user = fields.account,
                           .password = fields.password,
                           .passive = fields.passive,
                           .connection = connection_};
  server_.ftpPath = TestUploadFolder(server_.ftpPath);
  UploadByFtp(
      account, {{localPath_ + "commands.ini", server_.ftpPath, "commands.ini"}}, "Error to connect FTP\n\r", feedback_,
      boxes_, [&] {
        if (boxes_.Show(base::BoxKind::Information, base::BoxButtons::YesNo,
                        "Test file <commands.ini> successfully sent\n\rSave Settings?") == base::BoxAnswer::Yes) {
          SaveFtp(fields);
        }
      });
}

}  // namespace quarn::support
