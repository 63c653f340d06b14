// The mail component against a real SMTP server on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>

#include "base/CodePage.h"
#include "support/StartTlsMailClient.h"
#include "support/tests/TestServers.h"

namespace quarn::support {
namespace {

using testing::BinaryBytes;
using testing::CountMails;
using testing::kPassword;
using testing::kUser;
using testing::SmtpServerOptions;
using testing::SmtpTestServer;
using testing::TempFolder;
using testing::WaitForMail;
using testing::WriteFile;

// A component set up the way both windows do it, aimed at the test server.
void Configure(StartTlsMailClient& mail, int port, const std::string& password = kPassword) {
  mail.SetHost(" 127.0.0.1 ");  // blanks around the host are trimmed
  mail.SetPort(port);
  mail.SetLogin(kUser);
  mail.SetPassword(password);
  mail.SetFromEmail(kUser);
  mail.SetConnection(
      {std::chrono::seconds(10), std::chrono::seconds(10), testing::TestAuthority().certificate.string()});
}

std::vector<std::string> Types(const testing::ReceivedMail& mail) {
  std::vector<std::string> types;
  for (const auto& part : mail.parts) types.push_back(part.type + "/" + part.disposition);
  return types;
}

TEST(StartTlsMailClientTest, DeliversTextPartsThenAttachmentsOverStartTls) {
  SmtpTestServer server({.startTls = true});
  TempFolder files;
  const std::string dataFile = "Date\tT\tS\r\n10.12.2025 10:00:00\t00025\t01234\r\n";
  const std::string criteria = BinaryBytes(3000);
  WriteFile(files.Path() / "run 1.dat", dataFile);
  WriteFile(files.Path() / "criteria.ini", criteria);

  StartTlsMailClient mail;
  Configure(mail, server.Port());
  mail.SetMailer("WENLOagent");
  mail.Recipients().push_back("support@example.org");
  const std::vector<std::string> texts = {"Serial Number=12345", ".a line that starts with a dot",
                                          "Temperatur 25 °C – " + std::string(90, 'x') + " "};
  for (const std::string& text : texts) ASSERT_TRUE(mail.AddText(text));
  mail.SetAttachFiles({(files.Path() / "run 1.dat").string(), (files.Path() / "criteria.ini").string()});
  std::vector<std::pair<SocketStatus, std::string>> statuses;
  mail.SetOnStatus([&](SocketStatus reason, const std::string& text) { statuses.emplace_back(reason, text); });

  ASSERT_TRUE(mail.SendMessage("Query support", false)) << mail.LastError();

  const auto received = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->Fact("tls"), "1");
  EXPECT_EQ(received->Fact("auth"), "CRAM-MD5");
  EXPECT_EQ(received->Fact("login"), kUser);
  EXPECT_EQ(received->Fact("mail_from"), kUser);
  EXPECT_EQ(received->Facts("rcpt"), std::vector<std::string>{"support@example.org"});
  EXPECT_EQ(received->Fact("header.Subject"), "Query support");
  EXPECT_EQ(received->Fact("header.From"), kUser);
  EXPECT_EQ(received->Fact("header.To"), "support@example.org");
  EXPECT_EQ(received->Fact("header.X-Mailer"), "WENLOagent");
  EXPECT_EQ(received->Fact("header.Content-Type").rfind("Multipart/alternate;", 0), 0u);
  EXPECT_EQ(received->Fact("header.Content-Description"), "Multipart message");

  ASSERT_EQ(received->parts.size(), 5u);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto& part = received->parts[i];
    EXPECT_EQ(part.type, "text/plain");
    EXPECT_EQ(part.charset, "windows-1252");
    EXPECT_EQ(part.disposition, "inline");
    EXPECT_EQ(part.description, "Message text");
    EXPECT_EQ(part.encoding, "quoted-printable");
    EXPECT_EQ(part.data, base::Utf8ToCp1252(texts[i])) << i;
  }
  const std::vector<std::pair<std::string, std::string>> attached = {{"run 1.dat", dataFile},
                                                                     {"criteria.ini", criteria}};
  for (std::size_t i = 0; i < attached.size(); ++i) {
    const auto& part = received->parts[3 + i];
    EXPECT_EQ(part.disposition, "attachment");
    EXPECT_EQ(part.filename, attached[i].first);
    EXPECT_EQ(part.encoding, "base64");
    EXPECT_EQ(part.data, attached[i].second) << part.filename;
  }

  // The server got the encoded message byte for byte, and its size was announced beforehand.
  EXPECT_EQ(received->raw, mail.Message().EncodedText());
  EXPECT_EQ(received->Facts("mail_option"),
            std::vector<std::string>{"SIZE=" + std::to_string(mail.Message().EncodedText().size())});

  const auto reported = [&](SocketStatus reason, const std::string& start) {
    return std::any_of(statuses.begin(), statuses.end(),
                       [&](const auto& s) { return s.first == reason && s.second.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(reported(SocketStatus::Sent, "STARTTLS"));
  EXPECT_TRUE(reported(SocketStatus::Sent, std::string("MAIL FROM:<") + kUser + ">"));
  EXPECT_TRUE(reported(SocketStatus::Received, "250"));
  EXPECT_TRUE(testing::WaitUntil([&] { return server.Quits() == 1; }, std::chrono::seconds(10)));
}

TEST(StartTlsMailClientTest, ClearingSendLeavesAComponentThatBuildsTheNextMailAfresh) {
  SmtpTestServer server({.startTls = true});
  TempFolder files;
  WriteFile(files.Path() / "criteria.ini", "[criteria]\r\n");

  StartTlsMailClient mail;
  Configure(mail, server.Port());
  mail.SetMailer("WENLOagent");
  mail.Recipients().push_back("first@example.org");
  mail.AddText("first");
  mail.AttachFiles().push_back((files.Path() / "criteria.ini").string());
  ASSERT_TRUE(mail.SendMessage("first", true)) << mail.LastError();

  EXPECT_TRUE(mail.AttachFiles().empty());
  EXPECT_TRUE(mail.Recipients().empty());
  EXPECT_TRUE(mail.Message().Parts().empty());
  EXPECT_TRUE(mail.Mailer().empty());
  EXPECT_EQ(mail.Host(), " 127.0.0.1 ");
  EXPECT_EQ(mail.Login(), kUser);

  const std::string subject = "Prüfbericht Sensor №42 – Nullpunkt und Spanne, Temperatur 25 °C, alles gut";
  mail.Recipients().push_back("second@example.org");
  mail.AddText("second one");
  mail.AddText("");
  ASSERT_TRUE(mail.SendMessage(subject, true)) << mail.LastError();

  const auto first = WaitForMail(server.Mails(), 1);
  const auto second = WaitForMail(server.Mails(), 2);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(Types(*first), (std::vector<std::string>{"text/plain/inline", "application/octet-stream/attachment"}));
  EXPECT_EQ(Types(*second), (std::vector<std::string>{"text/plain/inline", "text/plain/inline"}));
  EXPECT_EQ(second->parts[0].data, "second one");
  EXPECT_EQ(second->parts[1].data, "");
  EXPECT_EQ(second->Facts("rcpt"), std::vector<std::string>{"second@example.org"});
  EXPECT_EQ(second->Fact("header.Subject"), subject);
  EXPECT_EQ(second->Fact("header.Content-Description"), "Multipart message");
  EXPECT_EQ(second->Fact("header.Content-Type").rfind("Multipart/alternate;", 0), 0u);
  EXPECT_TRUE(second->Facts("header.X-Mailer").empty());
}

struct TransportCase {
  std::string name;
  SmtpServerOptions server;
  std::vector<std::string> recipients = {"support@example.org"};
  std::string password = kPassword;
  bool accepted = true;
  std::string error{};           // part of LastError when not accepted
  bool failsAtStartTls = false;  // no AUTH and no MAIL FROM may reach the server
  // Checked only when accepted:
  std::string tls = "0";
  std::string mechanism = "CRAM-MD5";
  bool sizeSent = true;
  std::vector<std::string> envelopeRecipients = {"support@example.org"};
};

void PrintTo(const TransportCase& c, std::ostream* out) { *out << c.name; }

class StartTlsMailClientTransportTest : public ::testing::TestWithParam<TransportCase> {};

TEST_P(StartTlsMailClientTransportTest, NegotiatesWhatTheServerOffers) {
  const TransportCase& c = GetParam();
  SmtpTestServer server(c.server);
  StartTlsMailClient mail;
  Configure(mail, server.Port(), c.password);
  mail.SetRecipients(c.recipients);
  mail.AddText("report");

  const bool accepted = mail.SendMessage("Query support", true);

  ASSERT_EQ(accepted, c.accepted) << mail.LastError();
  if (!c.accepted) {
    EXPECT_NE(mail.LastError().find(c.error), std::string::npos) << mail.LastError();
    EXPECT_EQ(CountMails(server.Mails()), 0);
    if (c.failsAtStartTls) {
      const std::vector<std::string> commands = server.Commands();
      EXPECT_NE(std::find(commands.begin(), commands.end(), "STARTTLS"), commands.end());
      EXPECT_EQ(std::find(commands.begin(), commands.end(), "AUTH"), commands.end());
      EXPECT_EQ(std::find(commands.begin(), commands.end(), "MAIL"), commands.end());
    }
    return;
  }
  const auto received = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->Fact("tls"), c.tls);
  EXPECT_EQ(received->Fact("auth"), c.mechanism);
  EXPECT_EQ(received->Facts("mail_option").size(), c.sizeSent ? 1u : 0u);
  EXPECT_EQ(received->Facts("rcpt"), c.envelopeRecipients);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartTlsMailClientTransportTest,
    ::testing::Values(
        TransportCase{.name = "PlainWhenNoStartTlsIsOffered", .server = {.authBeforeTls = true}},
        TransportCase{.name = "LoginWhenCramMd5IsNotOffered",
                      .server = {.startTls = true, .mechanisms = "PLAIN,LOGIN"},
                      .tls = "1",
                      .mechanism = "LOGIN"},
        TransportCase{.name = "NoLoginWhenAuthIsNotOffered", .server = {.withUser = false}, .mechanism = ""},
        TransportCase{
            .name = "NoSizeWhenNotAnnounced", .server = {.startTls = true, .size = 0}, .tls = "1", .sizeSent = false},
        TransportCase{.name = "RecipientsSplitOnCommasOutsideQuotes",
                      .server = {.startTls = true},
                      .recipients = {R"("Support, Team" <team@example.org>)", "a@example.org, b@example.org"},
                      .tls = "1",
                      .envelopeRecipients = {"team@example.org", "a@example.org", "b@example.org"}},
        TransportCase{.name = "UntrustedCertificateFailsTheSwitch",
                      .server = {.startTls = true, .untrustedCertificate = true},
                      .accepted = false,
                      .error = "certificate"},
        TransportCase{.name = "WrongPasswordIsRefused",
                      .server = {.startTls = true},
                      .password = "wrong",
                      .accepted = false,
                      .error = "Login denied"},
        TransportCase{.name = "RefusedRecipientStopsTheSend",
                      .server = {.startTls = true},
                      .recipients = {"a@example.org", "refused@example.org", "c@example.org"},
                      .accepted = false,
                      .error = "RCPT failed"},
        TransportCase{.name = "EmptyRecipientSendsNothing",
                      .server = {},
                      .recipients = {""},
                      .accepted = false,
                      .error = "no recipient"},
        TransportCase{.name = "RefusedStartTlsEndsBeforeTheLogin",
                      .server = {.startTls = true, .authBeforeTls = true, .startTlsFault = "refuse"},
                      .accepted = false,
                      .error = "switch to it failed",
                      .failsAtStartTls = true},
        TransportCase{.name = "BrokenHandshakeEndsBeforeTheLogin",
                      .server = {.startTls = true, .authBeforeTls = true, .startTlsFault = "break"},
                      .accepted = false,
                      // a failed handshake or a dropped connection, depending on who is quicker
                      .error = "the server 127.0.0.1 port",
                      .failsAtStartTls = true}),
    [](const ::testing::TestParamInfo<TransportCase>& info) { return info.param.name; });

// Only the authority a caller hands in is trusted besides the system's store; nothing outside the call adds
// one.
TEST(StartTlsMailClientTest, TestAuthorityIsTrustedOnlyWhenHandedIn) {
  SmtpTestServer server({.startTls = true});
  for (const bool handedIn : {false, true}) {
    SCOPED_TRACE(handedIn ? "authority handed in" : "system store only");
    StartTlsMailClient mail;
    Configure(mail, server.Port());
    if (!handedIn) mail.SetConnection({std::chrono::seconds(10), std::chrono::seconds(10), ""});
    mail.Recipients().push_back("support@example.org");
    mail.AddText("report");
    EXPECT_EQ(mail.SendMessage("Query support", true), handedIn) << mail.LastError();
    EXPECT_EQ(CountMails(server.Mails()), handedIn ? 1 : 0);
  }
}

class StartTlsMailClientAttachmentTest : public ::testing::TestWithParam<std::string> {};

TEST_P(StartTlsMailClientAttachmentTest, UnreadableFileThrowsBeforeAnythingIsSentOrChanged) {
  SmtpTestServer server({.startTls = true});
  TempFolder files;
  const std::string good = (files.Path() / "run.dat").string();
  WriteFile(good, "data");
  std::filesystem::create_directory(files.Path() / "folder");
  const std::string bad = (files.Path() / GetParam()).string();

  StartTlsMailClient mail;
  Configure(mail, server.Port());
  mail.Recipients().push_back("support@example.org");
  mail.AddText("report");
  mail.SetAttachFiles({good, bad});

  try {
    mail.SendMessage("Query support", true);
    FAIL() << "no error for " << bad;
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(bad), std::string::npos) << error.what();
  }
  EXPECT_EQ(CountMails(server.Mails()), 0);
  EXPECT_EQ(mail.Message().Parts().size(), 1u);
  EXPECT_EQ(mail.AttachFiles().size(), 2u);
  EXPECT_EQ(mail.Recipients().size(), 1u);

  mail.SetAttachFiles({good});
  ASSERT_TRUE(mail.SendMessage("Query support", true)) << mail.LastError();
  const auto received = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(received);
  EXPECT_EQ(Types(*received), (std::vector<std::string>{"text/plain/inline", "application/octet-stream/attachment"}));
}

INSTANTIATE_TEST_SUITE_P(Files, StartTlsMailClientAttachmentTest, ::testing::Values("missing.dat", "folder"));

}  // namespace
}  // namespace quarn::support
