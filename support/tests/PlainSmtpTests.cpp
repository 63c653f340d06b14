// The plain SMTP path against a real SMTP server on 127.0.0.1.

#include <gtest/gtest.h>

#include "base/CodePage.h"
#include "support/PlainSmtp.h"
#include "support/tests/TestServers.h"

namespace quarn::support {
namespace {

using testing::BinaryBytes;
using testing::kPassword;
using testing::kUser;
using testing::SmtpTestServer;
using testing::TempFolder;
using testing::WaitForMail;
using testing::WriteFile;

PlainSmtpServer Server(int port, const std::string& password = kPassword) {
  return {.host = "127.0.0.1",
          .port = port,
          .login = kUser,
          .password = password,
          .connection = {std::chrono::seconds(10), std::chrono::seconds(10)}};
}

TEST(PlainSmtpTest, SendsUnencryptedUnderTheAgentNameWithBodyAndAttachments) {
  // STARTTLS is offered, but the plain path must not take it.
  SmtpTestServer server({.startTls = true, .authBeforeTls = true});
  TempFolder files;
  const std::string dataFile = BinaryBytes(5000);
  WriteFile(files.Path() / "run.dat", dataFile);
  WriteFile(files.Path() / "criteria.ini", "[criteria]\r\nKzero2=1\r\n");

  PlainMail mail;
  mail.senderName = "duzedadareva";
  mail.senderAddress = kUser;
  mail.recipients = R"(support@example.org, "Lab, Bench" <bench@example.org>)";
  mail.subject = "Query support";
  mail.bodyLines = {"Information", "=======================", "", "T0=-5 °C"};
  mail.attachments = {LoadAttachment((files.Path() / "run.dat").string()),
                      LoadAttachment((files.Path() / "criteria.ini").string())};

  ASSERT_NO_THROW(SendPlainMail(Server(server.Port()), mail));

  const auto received = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->Fact("tls"), "0");
  EXPECT_EQ(received->Fact("ehlo"), "WENLOagent");
  EXPECT_EQ(received->Fact("auth"), "CRAM-MD5");
  EXPECT_EQ(received->Fact("mail_from"), kUser);
  EXPECT_EQ(received->Facts("rcpt"), (std::vector<std::string>{"support@example.org", "bench@example.org"}));
  EXPECT_EQ(received->Fact("header.From"), std::string("\"duzedadareva\" <") + kUser + ">");
  EXPECT_EQ(received->Fact("header.Subject"), "Query support");
  EXPECT_EQ(received->Fact("header.X-Mailer"), "WENLOagent");

  ASSERT_EQ(received->parts.size(), 3u);
  EXPECT_EQ(received->parts[0].type, "text/plain");
  EXPECT_EQ(received->parts[0].data, base::Utf8ToCp1252("Information\r\n=======================\r\n\r\nT0=-5 °C\r\n"));
  EXPECT_EQ(received->parts[1].filename, "run.dat");
  EXPECT_EQ(received->parts[1].data, dataFile);
  EXPECT_EQ(received->parts[2].filename, "criteria.ini");
  EXPECT_EQ(received->parts[2].data, "[criteria]\r\nKzero2=1\r\n");
}

TEST(PlainSmtpTest, FailuresTellWhetherTheServerAnswered) {
  SmtpTestServer server({.authBeforeTls = true});
  struct Case {
    std::string name;
    PlainSmtpServer server;
    bool connected;
  };
  const std::vector<Case> cases = {
      {"nothing listens", Server(testing::ClosedPort()), false},
      {"wrong password", Server(server.Port(), "wrong"), true},
  };
  PlainMail mail;
  mail.senderAddress = kUser;
  mail.recipients = "support@example.org";
  mail.bodyLines = {"report"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      SendPlainMail(c.server, mail);
      ADD_FAILURE() << "no error";
    } catch (const MailError& error) {
      EXPECT_EQ(error.Connected(), c.connected);
      EXPECT_STRNE(error.what(), "");
    }
  }
  EXPECT_EQ(testing::CountMails(server.Mails()), 0);
}

TEST(PlainSmtpTest, LoadAttachmentNamesTheFileItCannotRead) {
  TempFolder files;
  const std::string missing = (files.Path() / "missing.dat").string();
  try {
    LoadAttachment(missing);
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace quarn::support
