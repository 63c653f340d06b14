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
struct SmtpSubmission {
  std::string host;
  int port = 0;           // 0 or less: the SMTP default, 25
  std::string helloName;  // empty: this machine's name
  std::string login;
  std::string password;
  bool tryStartTls = false;  // switch to TLS when the server offers it; a failed switch fails the call
  std::string sender;        // envelope sender address
  std::vector<std::string> recipients;  // envelope recipient addresses
  std::string_view message;             // the whole message text with CR LF lines; outlives the call
  ConnectionLimits limits;
  StatusCallback onStatus;
};

struct SmtpOutcome {
  bool accepted = false;   // the server took the message for delivery
  bool connected = false;  // the server answered at least once
  std::string error;       // curl's text when not accepted
};

SmtpOutcome SubmitMail(const SmtpSubmission& submission);

}  // namespace quarn::support
