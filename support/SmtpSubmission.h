#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/CurlHandle.h"

namespace quarn::support {

// The SMTP authentication mechanisms we offer, best first.
inline constexpr const char* kSmtpLoginOptions = "AUTH=CRAM-MD5;AUTH=LOGIN";

// One SMTP conversation: greeting, EHLO, optional STARTTLS, AUTH when offered and credentials are given,
// MAIL FROM (with SIZE when announced), RCPT TO for each address (the first refusal ends it), DATA, QUIT.
// With startTlsWhenOffered, a first connection learns from the server's EHLO reply whether it offers
// STARTTLS; when it does, the conversation requires TLS, so a refused or broken switch ends it before AUTH.
struct SmtpSubmission {
  std::string host;
  int port = 0;           // 0 or less: the SMTP default, 25
  std::string helloName;  // empty: this machine's name
  std::string login;
  std::string password;
  bool startTlsWhenOffered = false;     // switch to TLS when the server offers it; a failed switch fails the call
  std::string sender;                   // envelope sender address
  std::vector<std::string> recipients;  // envelope recipient addresses
  std::string_view message;             // the whole message text with CR LF lines; outlives the call
  ConnectionSettings connection;
  StatusCallback onStatus;
};

struct SmtpOutcome {
  bool accepted = false;   // the server took the message for delivery
  bool connected = false;  // the server answered at least once
  std::string error;       // why not, in words for the user (server, port, what went wrong)
};

SmtpOutcome SubmitMail(const SmtpSubmission& submission);

// Whether one line of an EHLO reply announces STARTTLS ("250-STARTTLS", "250 starttls").
bool AnnouncesStartTls(std::string_view replyLine);

}  // namespace quarn::support
