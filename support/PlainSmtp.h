#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "support/CurlHandle.h"

namespace quarn::support {

// The name the plain client greets with and writes as its mail agent.
inline constexpr const char* kPlainAgentName = "WENLOagent";

// The plain, unencrypted SMTP client of the settings and send windows: no STARTTLS, AUTH when the server
// offers it and credentials are given.
struct PlainSmtpServer {
  std::string host{};
  int port = 25;
  std::string login{};
  std::string password{};
  std::string helloName = kPlainAgentName;
  ConnectionSettings connection;
  StatusCallback onStatus{};
};

// A file read for attaching, so that a missing file is noticed when it is added, not when the mail goes out.
struct Attachment {
  std::string fileName;  // without folder
  std::string bytes;
};

// Reads the file. Throws std::runtime_error naming the file and the reason.
Attachment LoadAttachment(const std::string& path);

struct PlainMail {
  std::string senderName;
  std::string senderAddress;
  std::string recipients;  // comma-separated; a comma inside double quotes does not separate
  std::string subject;
  std::vector<std::string> bodyLines;  // UTF-8; one text part in the single-byte code page, CR LF after each
  std::vector<Attachment> attachments;
  std::string mailer = kPlainAgentName;
};

// A failed plain send, with curl's text. connected tells whether the server answered at all.
class MailError : public std::runtime_error {
 public:
  MailError(const std::string& text, bool connected) : std::runtime_error(text), connected_(connected) {}
  bool Connected() const { return connected_; }

 private:
  bool connected_;
};

// The message text as it goes out: a multipart/mixed container with the body, then one part per attachment.
std::string EncodePlainMail(const PlainMail& mail);

// The box text of a failed plain send: "Error : " and the reason, or "Error connect to server !" when there
// is none.
std::string MailErrorText(const MailError& error);

// Connects, sends and quits. Throws MailError when the server was unreachable or refused anything.
void SendPlainMail(const PlainSmtpServer& server, const PlainMail& mail);

}  // namespace quarn::support
