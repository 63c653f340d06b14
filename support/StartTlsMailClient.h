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
class StartTlsMailClient {
 public:
  StartTlsMailClient();

  const std::string& Login() const { return login_; }
  void SetLogin(std::string value) { login_ = std::move(value); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string value) { password_ = std::move(value); }
  const std::string& Host() const { return host_; }
  void SetHost(std::string value) { host_ = std::move(value); }
  void SetFromEmail(std::string value) { fromEmail_ = std::move(value); }
  const std::string& FromName() const { return fromName_; }
  void SetFromName(std::string value) { fromName_ = std::move(value); }
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }

  // Full paths of the files to attach, in order.
  std::vector<std::string>& AttachFiles() { return attachFiles_; }
  void SetAttachFiles(const std::vector<std::string>& files) { attachFiles_ = files; }
  // Recipient entries; an entry may hold several addresses separated by commas outside double quotes.
  std::vector<std::string>& Recipients() { return recipients_; }
  void SetRecipients(const std::vector<std::string>& recipients) { recipients_ = recipients; }

  // The X-Mailer header of the message itself, so Clear empties it too.
  std::string Mailer() const;
  void SetMailer(std::string_view mailer);

  const StatusCallback& OnStatus() const { return onStatus_; }
  void SetOnStatus(StatusCallback callback) { onStatus_ = std::move(callback); }

  // The message under construction; its container type, description and parts stand for the container.
  const MimeMessage& Message() const { return message_; }

  // Adds one inline quoted-printable text part holding the UTF-8 text in the single-byte code page.
  // False only when the part could not be made.
  bool AddText(std::string_view text);
  bool AddHtml(std::string_view html);

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
  // One inline part of the given text subtype; false when it could not be made.
  bool AddTextPart(std::string_view text, const char* subtype, const char* description);

  int port_ = kDefaultSmtpPort;
  std::string login_;
  std::string password_;
  std::string fromEmail_;
  std::string fromName_;
  std::string host_ = kDefaultSmtpHost;
  std::vector<std::string> attachFiles_;
  std::vector<std::string> recipients_;
  MimeMessage message_;
  StatusCallback onStatus_;
  ConnectionSettings connection_;
  std::string lastError_;
};

}  // namespace quarn::support
