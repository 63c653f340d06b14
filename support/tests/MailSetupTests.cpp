// The settings window's sequences against real SMTP and FTP servers on 127.0.0.1.

#include <gtest/gtest.h>

#include "base/CodePage.h"
#include "support/MailSetup.h"
#include "support/tests/SupportFixtures.h"

namespace quarn::support {
namespace {

using namespace testing;

constexpr auto kDeadline = std::chrono::seconds(10);

MailFields MailAccount(int port, bool startTls, const std::string& password = kPassword) {
  return {.host = "127.0.0.1",
          .port = std::to_string(port),
          .login = kUser,
          .password = password,
          .testAddress = "first@example.org, second@example.org",
          .startTls = startTls};
}

SupportFtpServer FtpServerAt(int port, std::string path = "") { return {"127.0.0.1", port, std::move(path)}; }

struct SetupUnderTest {
  explicit SetupUnderTest(SupportFtpServer server = {}, const ConnectionSettings& limits = testing::TestConnection())
      : setup(program.Path(), std::move(server), boxes) {
    setup.SetConnection(limits);
    setup.SetFeedback(boxes.Feedback());
  }
  ProgramFolder program;
  FeedbackBoxes boxes;
  MailSetup setup;
};

TEST(MailSetupTest, LoadsWhatIsStoredAndReportsUnreadableFiles) {
  {
    SetupUnderTest s;
    const MailSetup::Stored stored = s.setup.LoadStored();
    EXPECT_FALSE(stored.mail);
    EXPECT_FALSE(stored.ftp);
    EXPECT_TRUE(s.boxes.Boxes().empty());
  }
  {
    SetupUnderTest s;
    const MailFields mail{"smtp.example.org", "", kUser, kPassword, "", false};
    config::SaveMailSettings(s.program.Path(), MailRecord(mail));
    WriteFile(s.program.File("setting3.bin"), std::string(96, 'x'));
    const MailSetup::Stored stored = s.setup.LoadStored();
    ASSERT_TRUE(stored.mail);
    EXPECT_EQ(stored.mail->host, "smtp.example.org");
    EXPECT_EQ(stored.mail->port, "25");  // an empty stored port shows the default
    EXPECT_EQ(stored.mail->password, kPassword);
    EXPECT_FALSE(stored.ftp);
    ExpectBoxes(s.boxes, {{base::BoxKind::Warning, "Error on a file\n\r..."}});
  }
}

TEST(MailSetupTest, SavesOnlyCompleteAccounts) {
  SetupUnderTest s(FtpServerAt(21));
  const MailFields complete{"smtp.example.org", "", kUser, kPassword, "", true};
  for (auto blank : {&MailFields::host, &MailFields::login, &MailFields::password}) {
    MailFields fields = complete;
    fields.*blank = "";
    EXPECT_FALSE(s.setup.SaveMail(fields));
  }
  EXPECT_FALSE(std::filesystem::exists(s.program.File("setting2.bin")));
  EXPECT_TRUE(s.setup.SaveMail(complete));  // port and test address may be empty
  EXPECT_EQ(MailFieldsFrom(config::LoadMailSettings(s.program.Path())).login, kUser);

  EXPECT_FALSE(s.setup.SaveFtp({"", "pw", true}));
  EXPECT_TRUE(s.setup.SaveFtp({kUser, "", true}));  // the FTP password may be empty
  EXPECT_TRUE(FtpFieldsFrom(config::LoadFtpSettings(s.program.Path())).passive);
  ExpectBoxes(s.boxes, {{base::BoxKind::Warning, "Not all parameters are filled!"},
                        {base::BoxKind::Warning, "Not all parameters are filled!"},
                        {base::BoxKind::Warning, "Not all parameters are filled!"},
                        {base::BoxKind::Information, "Settings E-Mail saved !"},
                        {base::BoxKind::Warning, "Not all parameters are filled !"},
                        {base::BoxKind::Information, "Settings FTP saved !"}});

  for (const SupportFtpServer& server : {FtpServerAt(0), SupportFtpServer{"", 21, ""}}) {
    SetupUnderTest noServer(server);
    EXPECT_FALSE(noServer.setup.SaveFtp({kUser, kPassword, false}));
    ExpectBoxes(noServer.boxes, {{base::BoxKind::Warning, "Not all parameters are filled !"}});
  }

  base::ScriptedMessageBoxes boxes;
  MailSetup nowhere((s.program.File("missing") / "").string(), FtpServerAt(21), boxes);
  EXPECT_FALSE(nowhere.SaveMail(complete));
  EXPECT_FALSE(nowhere.SaveFtp({kUser, kPassword, false}));
  ExpectBoxes(boxes, {{base::BoxKind::Warning, "Error on a file!\n\r..."},
                      {base::BoxKind::Warning, "Error on a file!\n\r..."}});
}

TEST(MailSetupTest, PlainTestMailArrivesWithOneAttachmentEachTime) {
  testing::SmtpTestServer server({.startTls = true, .authBeforeTls = true});
  SetupUnderTest s;
  s.boxes.QueueAnswer(base::BoxAnswer::No);
  s.boxes.QueueAnswer(base::BoxAnswer::Yes);
  const MailFields fields = MailAccount(server.Port(), false);

  s.setup.TestMail(fields);
  EXPECT_FALSE(std::filesystem::exists(s.program.File("setting2.bin")));
  s.setup.TestMail(fields);
  EXPECT_TRUE(std::filesystem::exists(s.program.File("setting2.bin")));

  ExpectBoxes(s.boxes, {{base::BoxKind::Information, "Test mail send!\n\rSave setting?"},
                        {base::BoxKind::Information, "Test mail send!\n\rSave setting?"},
                        {base::BoxKind::Information, "Settings E-Mail saved !"}});
  EXPECT_EQ(s.boxes.Boxes()[0].buttons, base::BoxButtons::YesNo);
  EXPECT_EQ(s.boxes.BusyChanges(), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(s.boxes.BoxesWhileBusy(), 0);
  for (int n = 1; n <= 2; ++n) {
    const auto mail = WaitForMail(server.Mails(), n);
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->Fact("tls"), "0");
    EXPECT_EQ(mail->Fact("ehlo"), "WENLOagent");
    EXPECT_EQ(mail->Fact("login"), kUser);
    EXPECT_EQ(mail->Fact("header.Subject"), "Test Message from WENLO");
    EXPECT_EQ(mail->Fact("header.From"), std::string("\"Test Message from WENLO\" <") + kUser + ">");
    EXPECT_EQ(mail->Facts("rcpt"), (std::vector<std::string>{"first@example.org", "second@example.org"}));
    ASSERT_EQ(mail->parts.size(), 2u);
    EXPECT_EQ(mail->parts[0].type, "text/plain");
    EXPECT_EQ(mail->parts[0].data, "Test mail SUCCESS!\r\n");
    EXPECT_EQ(mail->parts[1].filename, "criteria.ini");
    EXPECT_EQ(mail->parts[1].data, testing::kCriteriaBytes);
  }
}

TEST(MailSetupTest, PlainTestMailFailuresEachHaveTheirBox) {
  testing::SmtpTestServer server({.authBeforeTls = true});
  struct Case {
    std::string name;
    MailFields fields;
    testing::ExpectedBox box;
    bool removeCriteria = false;
  };
  const MailFields good = MailAccount(server.Port(), false);
  std::vector<Case> cases;
  for (auto blank :
       {&MailFields::host, &MailFields::port, &MailFields::login, &MailFields::password, &MailFields::testAddress}) {
    MailFields fields = good;
    fields.*blank = "";
    cases.push_back({"a field is empty", fields, {base::BoxKind::Warning, "Not all parameters are filled !"}});
  }
  for (const std::string port : {"99999999999", "0", "70000"}) {
    MailFields fields = good;
    fields.port = port;
    cases.push_back({"port " + port, fields, {base::BoxKind::Error, "Port is not set!"}});
  }
  cases.push_back(
      {"wrong password", MailAccount(server.Port(), false, "wrong"), {base::BoxKind::Error, "Error : ..."}});
  const int closed = testing::ClosedPort();
  cases.push_back({"nothing listens",
                   MailAccount(closed, false),
                   {base::BoxKind::Error, "Error : the server 127.0.0.1 port " + std::to_string(closed) +
                                              " refused the connection; check the server name and the port..."}});
  cases.push_back({"no criteria.ini", good, {base::BoxKind::Error, "Error : ..."}, true});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetupUnderTest s;
    if (c.removeCriteria) std::filesystem::remove(s.program.File("criteria.ini"));
    s.setup.TestMail(c.fields);
    ExpectBoxes(s.boxes, {c.box});
    EXPECT_FALSE(s.boxes.Busy());
  }
  EXPECT_EQ(testing::CountMails(server.Mails()), 0);
}

TEST(MailSetupTest, StartTlsTestMailUsesTheMailComponent) {
  for (const testing::StartTlsCase& c : testing::StartTlsCases()) {
    SCOPED_TRACE(c.name);
    testing::SmtpTestServer server(c.options);
    SetupUnderTest s;
    s.boxes.QueueAnswer(base::BoxAnswer::No);
    s.setup.TestMail(MailAccount(server.Port(), true, c.password));
    EXPECT_EQ(s.boxes.BoxesWhileBusy(), 0);
    if (c.tls.empty()) {
      ExpectBoxes(s.boxes, {{base::BoxKind::Error, "Error sending mail ! Check setting."}});
      EXPECT_EQ(testing::CountMails(server.Mails()), 0);
      continue;
    }
    ExpectBoxes(s.boxes, {{base::BoxKind::Information, "Test mail send!\n\rSave setting?"}});
    const auto mail = WaitForMail(server.Mails(), 1);
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->Fact("tls"), c.tls);
    EXPECT_EQ(mail->Fact("login"), kUser);
    EXPECT_EQ(mail->Fact("header.Subject"), "Test Message from WENLO");
    EXPECT_EQ(mail->Fact("header.From"), kUser);
    EXPECT_EQ(mail->Fact("header.X-Mailer"), "WENLOagent");
    ASSERT_EQ(mail->parts.size(), 3u);
    EXPECT_EQ(mail->parts[0].data, "Line1 Test mail SUCCESS!");
    EXPECT_EQ(mail->parts[1].data, "Line2 Test mail SUCCESS!");
    EXPECT_EQ(mail->parts[2].filename, "criteria.ini");
    EXPECT_EQ(mail->parts[2].data, testing::kCriteriaBytes);
    EXPECT_TRUE(s.setup.MailClient().AttachFiles().empty());
  }
}

TEST(MailSetupTest, StartTlsPortRules) {
  SetupUnderTest s;
  MailFields fields = MailAccount(465, true);
  s.setup.TestMail(fields);
  EXPECT_EQ(s.setup.MailClient().Port(), 587);
  fields.port = "2526";
  s.setup.TestMail(fields);
  EXPECT_EQ(s.setup.MailClient().Port(), 2526);
  s.boxes.Clear();
  fields.port = "99999999999";
  s.setup.TestMail(fields);
  ExpectBoxes(s.boxes, {{base::BoxKind::Error, "''99999999999'' is not a valid integer value"}});
}

struct UploadCase {
  std::string name;
  bool passive;
  std::string ftpPath;     // as the criteria file gives it
  std::string remotePath;  // where commands.ini lands, below the login folder
  std::string keptPath;    // the folder text afterwards
};

void PrintTo(const UploadCase& c, std::ostream* out) { *out << c.name; }

class MailSetupUploadTest : public ::testing::TestWithParam<UploadCase> {};

TEST_P(MailSetupUploadTest, UploadsCommandsAndMaySaveTheAccount) {
  const UploadCase& c = GetParam();
  testing::FtpTestServer server;
  std::filesystem::create_directories(server.Home() / "in" / "data");
  const auto remote = server.Home() / c.remotePath;
  WriteFile(remote, std::string(5000, 'o'));  // longer than the upload: a write-over would show
  SetupUnderTest s(FtpServerAt(server.Port(), c.ftpPath));
  s.boxes.QueueAnswer(base::BoxAnswer::Yes);
  const FtpFields account{kUser, kPassword, c.passive};

  s.setup.TestFtp(account);

  ExpectBoxes(s.boxes, {{base::BoxKind::Information, "Test file <commands.ini> successfully sent\n\rSave Settings?"},
                        {base::BoxKind::Information, "Settings FTP saved !"}});
  EXPECT_EQ(s.boxes.BoxesWhileBusy(), 0);
  EXPECT_EQ(ReadFile(remote), testing::kCommandsBytes);
  EXPECT_EQ(s.setup.FtpPath(), c.keptPath);
  EXPECT_EQ(FtpFieldsFrom(config::LoadFtpSettings(s.program.Path())).account, kUser);
  ASSERT_TRUE(WaitUntil([&] { return !server.Commands().empty() && server.Commands().back() == "QUIT"; }, kDeadline));
  const auto commands = server.Commands();
  const auto count = [&](const char* name) { return std::count(commands.begin(), commands.end(), name); };
  EXPECT_EQ(count("EPSV") + count("PASV"), c.passive ? 1 : 0);
  EXPECT_EQ(count("EPRT") + count("PORT"), c.passive ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, MailSetupUploadTest,
    ::testing::Values(UploadCase{"PassiveNoFolder", true, "", "commands.ini", ""},
                      UploadCase{"ActiveFolderGetsBackslash", false, "in", "in/commands.ini", "in\\"},
                      UploadCase{"PassiveNestedFolder", true, "in\\data\\", "in/data/commands.ini", "in\\data\\"},
                      UploadCase{"OneCharacterUnchanged", true, "x", "xcommands.ini", "x"}),
    [](const ::testing::TestParamInfo<UploadCase>& info) { return info.param.name; });

TEST(MailSetupTest, TestUploadFailuresEachHaveTheirBox) {
  testing::FtpTestServer server;
  struct Case {
    std::string name;
    SupportFtpServer target;
    FtpFields account;
    testing::ExpectedBox box;
  };
  const FtpFields good{kUser, kPassword, true};
  const std::vector<Case> cases = {
      {"no server", {"", server.Port(), ""}, good, {base::BoxKind::Warning, "Not all parameters are filled !"}},
      {"port 0", FtpServerAt(0), good, {base::BoxKind::Warning, "Not all parameters are filled !"}},
      {"no account",
       FtpServerAt(server.Port()),
       {"", kPassword, true},
       {base::BoxKind::Warning, "Not all parameters are filled !"}},
      {"no password",
       FtpServerAt(server.Port()),
       {kUser, "", true},
       {base::BoxKind::Warning, "Not all parameters are filled !"}},
      {"port too big", FtpServerAt(70000), good, {base::BoxKind::Error, "Port is not set!"}},
      {"wrong password",
       FtpServerAt(server.Port()),
       {kUser, "wrong", true},
       {base::BoxKind::Warning, "Error to connect FTP\n\r..."}},
      {"missing folder",
       FtpServerAt(server.Port(), "missing"),
       good,
       {base::BoxKind::Warning, "Error sending the file to FTP\n\r..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetupUnderTest s(c.target);
    s.setup.TestFtp(c.account);
    ExpectBoxes(s.boxes, {c.box});
    EXPECT_FALSE(s.boxes.Busy());
  }
  EXPECT_FALSE(std::filesystem::exists(server.Home() / "commands.ini"));
  // Every connection that logged in also said goodbye.
  ASSERT_TRUE(WaitUntil([&] { return !server.Commands().empty() && server.Commands().back() == "QUIT"; }, kDeadline));
}

TEST(MailSetupTest, SilentServersEndInTheErrorBox) {
  testing::SilentListener silent;
  {
    SetupUnderTest s({}, testing::ShortConnection());
    s.setup.TestMail(MailAccount(silent.Port(), false));
    s.setup.TestMail(MailAccount(silent.Port(), true));
    ExpectBoxes(s.boxes, {{base::BoxKind::Error,
                           "Error : the server 127.0.0.1 port " + std::to_string(silent.Port()) + " did not answer..."},
                          {base::BoxKind::Error, "Error sending mail ! Check setting."}});
  }
  {
    SetupUnderTest s(FtpServerAt(silent.Port()), testing::ShortConnection());
    s.setup.TestFtp({kUser, kPassword, true});
    ExpectBoxes(s.boxes, {{base::BoxKind::Warning, "Error to connect FTP\n\r..."}});
    EXPECT_NE(s.boxes.Texts()[0].find("did not answer"), std::string::npos) << s.boxes.Texts()[0];
  }
}

}  // namespace
}  // namespace quarn::support
