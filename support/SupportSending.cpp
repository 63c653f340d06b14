#include "support/SupportSending.h"

#include "base/CodePage.h"
#include "base/Files.h"
#include "config/Codec.h"
#include "config/Criteria.h"
#include "support/MailAddresses.h"
#include "support/MimeMessage.h"
#include "support/PlainSmtp.h"

namespace quarn::support {

namespace {

constexpr const char* kSubject = "Query support";
constexpr const char* kIncomplete = "Not all parameters are filled !";
constexpr const char* kSent = "message send";
constexpr const char* kNoSupportAddress =
    "Error : there is no support address to send to; the key mailsupport in criteria.ini is missing or empty";

// Reads one settings file into the copy; true when it was there and whole.
template <typename Record, typename Loader>
bool LoadCopy(const std::string& folder, const char* fileName, Loader load, Record& copy, base::MessageBoxes& boxes) {
  try {
    if (!base::FileExists(folder + fileName)) return false;
    copy = load(folder);
    return true;
  } catch (const base::FileError& error) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, std::string("An error on a file\n\r") + error.what());
    return false;
  }
}

}  // namespace

SupportSending::SupportSending(SendInputs inputs, base::MessageBoxes& boxes)
    : inputs_(std::move(inputs)),
      boxes_(boxes),
      coeff_(CoefficientsFrom(inputs_.coefficientLines)),
      report_(ReportLines(inputs_.identityValues, coeff_)) {
  mailClient_.SetConnection(connection_);
}

void SupportSending::SetConnection(const ConnectionSettings& connection) {
  connection_ = connection;
  mailClient_.SetConnection(connection);
}

SupportSending::Offered SupportSending::LoadStored() {
  Offered offered;
  offered.mail =
      LoadCopy(inputs_.programFolder, config::kMailSettingsFileName, &config::LoadMailSettings, mailCopy_, boxes_);
  offered.ftp =
      LoadCopy(inputs_.programFolder, config::kFtpSettingsFileName, &config::LoadFtpSettings, ftpCopy_, boxes_);
  return offered;
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
  for (const std::string& path : {inputs_.dataFilePath, inputs_.programFolder + config::kCriteriaFileName}) {
    try {
      mail.attachments.push_back(LoadAttachment(path));
    } catch (const std::runtime_error& error) {
      boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok,
                  std::string("I attach a file was not successful!\n\r") + error.what());
    }
  }
  try {
    const BusyScope busy(feedback_);
    SendPlainMail(server, mail);
  } catch (const MailError& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, MailErrorText(error));
    return false;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, kSent);
  return true;
}

bool SupportSending::SendByMailComponent(const std::string& host, const std::string& login,
                                         const std::string& password) {
  const std::string portText = config::ScrambledText(mailCopy_.Port);
  const std::optional<int32_t> port = WholeNumber(portText);
  if (!port) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, NotAWholeNumberText(portText));
    return false;
  }
  mailClient_.SetHost(host);
  mailClient_.SetPort(StartTlsPort(*port));
  mailClient_.SetLogin(login);
  mailClient_.SetPassword(password);
  mailClient_.SetFromEmail(login);
  mailClient_.Recipients().clear();
  mailClient_.Recipients().push_back(inputs_.supportMail);
  for (const std::string& line : report_) mailClient_.AddText(line);
  mailClient_.AttachFiles().push_back(inputs_.dataFilePath);
  mailClient_.AttachFiles().push_back(inputs_.programFolder + config::kCriteriaFileName);
  bool sent = false;
  try {
    const BusyScope busy(feedback_);
    sent = mailClient_.SendMessage(kSubject, true);
  } catch (const std::runtime_error& error) {
    // An unreadable attachment leaves the message filled; the next attempt must not carry it twice.
    mailClient_.Clear();
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, error.what());
    return false;
  }
  if (sent) {
    boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, kSent);
  } else {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Error sending mail ! Check setting.");
  }
  return true;
}

void SupportSending::SendFtp() {
  const FtpFields account = FtpFieldsFrom(ftpCopy_);
  if (inputs_.ftpServer.empty() || inputs_.ftpPort == 0 || account.account.empty() || account.password.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kIncomplete);
    return;
  }
  if (!IsPortNumber(inputs_.ftpPort)) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Port is not set!");
    return;
  }
  // The session closes the connection whichever way this function is left.
  FtpSession session({.host = inputs_.ftpServer,
                      .port = inputs_.ftpPort,
                      .user = account.account,
                      .password = account.password,
                      .passive = account.passive,
                      .connection = connection_},
                     feedback_.progress);
  try {
    const BusyScope busy(feedback_);
    session.Connect();
  } catch (const FtpError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                std::string("Error to connect to FTP\n\r") + error.what());
    return;
  }
  const std::string folder = config::CodecDecodeUtf8(base::Utf8ToCp1252(inputs_.ftpPath));
  try {
    const BusyScope busy(feedback_);
    session.Upload(inputs_.dataFilePath, folder, FileNameOf(inputs_.dataFilePath));
    session.Upload(inputs_.programFolder + config::kCriteriaFileName, "", config::kCriteriaFileName);
  } catch (const FtpError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                std::string("Error sending the file to FTP\n\r") + error.what());
    const BusyScope busy(feedback_);
    session.Disconnect();
    return;
  }
  boxes_.Show(base::BoxKind::Information, base::BoxButtons::Ok, "File for FTP copied");
  const BusyScope busy(feedback_);
  session.Disconnect();
}

}  // namespace quarn::support
