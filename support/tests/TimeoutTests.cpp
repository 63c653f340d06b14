// Every transport against a server that accepts the connection and never says a word. The test's own
// time limit catches a hang; the checks make sure the call ended with an error of its own.

#include <gtest/gtest.h>

#include "support/FtpUpload.h"
#include "support/PlainSmtp.h"
#include "support/StartTlsMailClient.h"
#include "support/tests/TestServers.h"

namespace quarn::support {
namespace {

// The reason given for a server that accepts the connection and then says nothing.
constexpr const char* kTimedOut = "did not answer";
const ConnectionSettings kShortLimits{std::chrono::seconds(2), std::chrono::seconds(2)};

TEST(SilentServerTest, MailComponentGivesUp) {
  testing::SilentListener silent;
  StartTlsMailClient mail;
  mail.SetHost("127.0.0.1");
  mail.SetPort(silent.Port());
  mail.SetFromEmail(testing::kUser);
  mail.SetConnection(kShortLimits);
  mail.Recipients().push_back("support@example.org");
  mail.AddText("report");
  EXPECT_FALSE(mail.SendMessage("Query support", true));
  EXPECT_NE(mail.LastError().find(kTimedOut), std::string::npos) << mail.LastError();
}

TEST(SilentServerTest, PlainMailGivesUp) {
  testing::SilentListener silent;
  PlainMail mail;
  mail.senderAddress = testing::kUser;
  mail.recipients = "support@example.org";
  try {
    SendPlainMail({.host = "127.0.0.1", .port = silent.Port(), .connection = kShortLimits}, mail);
    FAIL() << "no error";
  } catch (const MailError& error) {
    EXPECT_NE(std::string(error.what()).find(kTimedOut), std::string::npos) << error.what();
    EXPECT_FALSE(error.Connected());
  }
}

TEST(SilentServerTest, FtpGivesUp) {
  testing::SilentListener silent;
  FtpSession session(
      {.host = "127.0.0.1", .port = silent.Port(), .user = "u", .password = "p", .connection = kShortLimits});
  try {
    session.Connect();
    FAIL() << "no error";
  } catch (const FtpError& error) {
    EXPECT_NE(std::string(error.what()).find(kTimedOut), std::string::npos) << error.what();
  }
  EXPECT_FALSE(session.Connected());
}

}  // namespace
}  // namespace quarn::support
