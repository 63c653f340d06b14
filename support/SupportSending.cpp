#include "support/SupportSending.h"

#include <filesystem>

#include "base/CodePage.h"
#include "config/Codec.h"
#include "config/Criteria.h"
#include "support/MailAddresses.h"
#include "support/MimeMessage.h"
#include "support/PlainSmtp.h"
#include "support/Transfers.h"

namespace quarn::support {

namespace {

constexpr const char* kSubject = "Query support";
// The calibration wizard's log in the save folder.
constexpr const char* kCalibrationLogFileName = "calibration.tsv";
constexpr const char* kIncomplete = "Not all parameters are filled !";
constexpr const char* kSent = "message send";
constexpr const char* kNoSupportAddress =
    "Error : there is no support address to send to; the key mailsupport in criteria.ini is missing or empty";

}  // namespace

SupportSending::SupportSending(SendInputs inputs, base::MessageBoxes& boxes)
    : inputs_(std::move(inputs)),
      boxes_(boxes),
      // No window reads the coefficients: their table goes out as zeros, as it always has.
      report_(ReportLines(inputs_.identity, Coefficients{})) {
  mailClient_.SetConnection(connection_);
}

std::string SupportSending::EvaluationReportPath() const {
  return std::filesystem::path(inputs_.dataFilePath).replace_extension(".pdf").string();
}

std::string SupportSending::CalibrationLogPath() const {
  return (std::filesystem::path(inputs_.dataFilePath).parent_path() / kCalibrationLogFileName).string();
}

std::vector<std::string> SupportSending::Attachments() const {
  std::vector<std::string> files = {inputs_.dataFilePath, inputs_.programFolder + config::kCriteriaFileName};
  std::error_code error;
  if (attachReport_ && std::filesystem::is_regular_file(EvaluationReportPath(), error))
    files.push_back(EvaluationReportPath());
  if (attachLog_ && std::filesystem::is_regular_file(CalibrationLogPath(), error))
    files.push_back(CalibrationLogPath());
  return files;
}

void SupportSending::SetConnection(const ConnectionSettings& connection) {
  connection_ = connection;
  mailClient_.SetConnection(connection);
}

SupportSending::Offered SupportSending::LoadStored() {
  const StoredAccounts accounts = LoadStoredAccounts(inputs_.programFolder, "An error on a file\n\r", boxes_);
  if (accounts.mail) mailCopy_ = *accounts.mail;
  if (accounts.ftp) ftpCopy_ = *accounts.ftp;
  return {.mail = accounts.mail.has_value(), .ftp = accounts.ftp.has_value()};
}

void SupportSending::Send(bool byMail, bool byFtp) {
  if (byMail && !SendMail()) return;
  if (byFtp) SendFtp();
}

bool SupportSending::SendMail() {
  const std::string host = config::ScrambledText(mailCopy_.Host);
  const std::string login = config::ScrambledText(mailCopy_.Login);
  const std::string password = config::ScrambledText(mailCopy_.Password);
  if (host.empty() || login.empty() || password.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kIncomplete);
    return false;
  }
  if (TrimBlanks(inputs_.supportMail).empty()) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, kNoSupportAddress);
    return false;
  }
  switch (mailCopy_.UseTLS) {
    case 0: return SendByPlainSmtp(host, login, password);
    case 1: return SendByMailComponent(host, login, password);
    default: return true;  // no connection choice the window knows: nothing is sent, nothing is said
  }
}

bool SupportSending::SendByPlainSmtp(const std::string& host, const std::string& login, const std::string& password) {
  // The stored port belongs to the "SSL/TSL" choice; the unencrypted path keeps the SMTP default.
  const PlainSmtpServer server{
      .host = host, .port = plainPort_, .login = login, .password = password, .connection = connection_};
  PlainMail mail;
  mail.senderName = "duzedadareva";
  mail.senderAddress = login;
  mail.recipients = inputs_.supportMail;
  mail.subject = kSubject;
  mail.bodyLines = report_;
  for (const std::string& path : Attachments()) {
    try {
      mail.attachments.push_back(LoadAttachment(path));
    } catch (const std::runtime_error& error) {
      boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok,
                  std::string("I attach a file was not successful!\n\r") + error.what());
    }
  }
  if (!SendPlain(server, mail, feedback_, boxes_)) return false;
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, kSent);
  return true;
}

bool SupportSending::SendByMailComponent(const std::string& host, const std::string& login,
                                         const std::string& password) {
  const StartTlsMail mail{.host = host,
                          .portText = config::ScrambledText(mailCopy_.Port),
                          .login = login,
                          .password = password,
                          .recipients = inputs_.supportMail,
                          .subject = kSubject,
                          .textLines = report_,
                          .attachFiles = Attachments()};
  switch (SendStartTls(mailClient_, mail, feedback_, boxes_)) {
    case MailOutcome::kSent: boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, kSent); return true;
    case MailOutcome::kRefused: return true;
    case MailOutcome::kFailed: return false;
  }
  return false;
}

void SupportSending::SendFtp() {
  const FtpFields account = FtpFieldsFrom(ftpCopy_);
  const std::string folder = config::CodecDecodeUtf8(base::Utf8ToCp1252(inputs_.ftpPath));
  std::vector<FtpFile> uploads = {{inputs_.dataFilePath, folder, FileNameOf(inputs_.dataFilePath)},
                                  {inputs_.programFolder + config::kCriteriaFileName, "", config::kCriteriaFileName}};
  // The report and the log go where the data file goes.
  const std::vector<std::string> attached = Attachments();
  for (size_t i = 2; i < attached.size(); ++i) uploads.push_back({attached[i], folder, FileNameOf(attached[i])});
  UploadByFtp({.host = inputs_.ftpServer,
               .port = inputs_.ftpPort,
               .user = account.account,
               .password = account.password,
               .passive = account.passive,
               .connection = connection_},
              uploads, "Error to connect to FTP\n\r", feedback_, boxes_,
              [&] { boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, "File for FTP copied"); });
}

}  // namespace quarn::support
