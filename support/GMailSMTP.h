#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/CurlHandle.h"
#include "support/MimeMessage.h"

namespace quarn::support {

// Where a freshly made component sends unless told otherwise; a placeholder that callers overwrite.
inline constexpr const char* kDefaultSmtpHost = "smtp.example.com";
inline constexpr int kDefaultSmtpPort = 587;

// The port the "SSL/TSL" connection choice really uses: the component speaks STARTTLS only, so the
// implicit-TLS port 465 is replaced by the submission port 587; any other port is kept.
int StartTlsPort(int port);

// Builds one MIME mail (text parts, then attachments, in a "Multipart/alternate" container) and submits it
// over SMTP, switching to TLS when the server offers STARTTLS. GUI thread only; SendMessage blocks.
class TGMailSMTP {
 public:
  TGMailSMTP();

  const std::string& Login() const { return FLogin; }
  void SetLogin(std::string value) { FLogin = std::move(value); }
  const std::string& Password() const { return FPassword; }
  void SetPassword(std::string value) { FPassword = std::move(value); }
  const std::string& Host() const { return FHost; }
  void SetHost(std::string value) { FHost = std::move(value); }
  const std::string& FromEmail() const { return FEmail; }
  void SetFromEmail(std::string value) { FEmail = std::move(value); }
  const std::string& FromName() const { return FFromName; }
  void SetFromName(std::string value) { FFromName = std::move(value); }
  int Port() const { return FPort; }
  void SetPort(int value) { FPort = value; }

  // Full paths of the files to attach, in order.
  std::vector<std::string>& AttachFiles() { return FFiles; }
  void SetAttachFiles(const std::vector<std::string>& files) { FFiles = files; }
  // Recipient entries; an entry may hold several addresses separated by commas outside double quotes.
  std::vector<std::string>& Recipients() { return FRecipients; }
  void SetRecipients(const std::vector<std::string>& recipients) { FRecipients = recipients; }

  // The X-Mailer header of the message itself, so Clear empties it too.
  std::string Mailer() const;
  void SetMailer(std::string_view mailer);

  const StatusCallback& OnStatus() const { return FOnStatus; }
  void SetOnStatus(StatusCallback callback) { FOnStatus = std::move(callback); }

  // The message under construction; its container type, description and parts stand for the container.
  const MimeMessage& GMessage() const { return FMsg; }

  // Adds one inline quoted-printable text part holding the UTF-8 text in the single-byte code page.
  // False only when the part could not be made.
  bool AddText(std::string_view text);
  bool AddHTML(std::string_view html);

  // Attaches the files, encodes and submits the message; true only when the server accepted it. With clear,
  // Clear runs afterwards whatever the outcome. A file that cannot be read throws std::runtime_error before
  // anything is sent or changed.
  bool SendMessage(std::string_view subject, bool clear);

  // Empties the message (headers, X-Mailer, parts), the attachments and the recipients.
  void Clear();

  // Why the last SendMessage returned false; for logs and tests, never shown to the user.
  const std::string& LastError() const { return lastError_; }

  void SetConnection(const ConnectionSettings& connection) { connection_ = connection; }

 private:
  int FPort = kDefaultSmtpPort;
  std::string FLogin;
  std::string FPassword;
  std::string FEmail;
  std::string FFromName;
  std::string FHost = kDefaultSmtpHost;
  std::vector<std::string> FFiles;
  std::vector<std::string> FRecipients;
  MimeMessage FMsg;
  StatusCallback FOnStatus;
  ConnectionSettings connection_;
  std::string lastError_;
};

}  // namespace quarn::support
