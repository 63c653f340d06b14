// The send window's sequence against real SMTP and FTP servers on 127.0.0.1.

#include <gtest/gtest.h>

#include "base/CodePage.h"
#include "config/Codec.h"
#include "support/MimeMessage.h"
#include "support/SupportSending.h"
#include "support/tests/ProgressLog.h"
#include "support/tests/SupportFixtures.h"

namespace quarn::support {
namespace {

using namespace testing;

constexpr auto kDeadline = std::chrono::seconds(10);
const base::SensorIdentity kIdentity = {"7", "012345", "v2.31", "T5", "R3"};
const std::string kDataBytes = BinaryBytes(200000);

// The criteria file gives the folder scrambled.
std::string ScrambledFolder(const std::string& folder) { return base::Cp1252ToUtf8(config::CodecEncode(folder, 50)); }

// A program folder with a data file beside it, the stored accounts and the window's logic.
struct Sending {
  explicit Sending(int ftpPort = 0, std::string ftpPath = "",
                   const ConnectionSettings& limits = testing::TestConnection(),
                   std::string mailSupport = "support@example.org, lab@example.org") {
    WriteFile(data.Path() / "run 1.dat", kDataBytes);
    SendInputs inputs{.programFolder = program.Path(),
                      .identity = kIdentity,
                      .dataFilePath = (data.Path() / "run 1.dat").string(),
                      .supportMail = std::move(mailSupport),
                      .ftpServer = ftpPort == 0 ? "" : "127.0.0.1",
                      .ftpPort = ftpPort,
                      .ftpPath = std::move(ftpPath)};
    sending = std::make_unique<SupportSending>(std::move(inputs), boxes);
    sending->SetConnection(limits);
    NetworkFeedback feedback = boxes.Feedback();
    feedback.progress = progress.Callbacks();
    sending->SetFeedback(std::move(feedback));
  }

  void StoreMail(const std::string& port, uint8_t useTls, const std::string& password = kPassword,
                 const std::string& host = "127.0.0.1") {
    config::MailSettingsRecord record = MailRecord({.host = host, .port = port, .login = kUser, .password = password});
    record.UseTLS = useTls;
    config::SaveMailSettings(program.Path(), record);
  }
  void StoreFtp(bool passive, const std::string& password = kPassword) {
    config::SaveFtpSettings(program.Path(), FtpRecord({kUser, password, passive}));
  }
  // Loads the stored accounts as the window's show does, and sends by both when both are stored.
  void Send(bool byMail, bool byFtp) {
    sending->LoadStored();
    sending->Send(byMail, byFtp);
  }

  ProgramFolder program;
  testing::TempFolder data;
  FeedbackBoxes boxes;
  std::unique_ptr<SupportSending> sending;
  testing::ProgressLog progress;
};

std::string ReportText() {
  std::string text;
  for (const std::string& line : ReportLines(kIdentity, Coefficients{})) text += line + "\r\n";
  return text;
}

bool QuitReceived(const testing::FtpTestServer& server) {
  return WaitUntil([&] { return !server.Commands().empty() && server.Commands().back() == "QUIT"; }, kDeadline);
}

TEST(SupportSendingTest, OffersTheTransportsWhoseSettingsCanBeRead) {
  struct Case {
    std::string name;
    bool mailFile, ftpFile, shortMailFile;
    bool mail, ftp;
  };
  const std::vector<Case> cases = {{"none", false, false, false, false, false},
                                   {"mail only", true, false, false, true, false},
                                   {"ftp only", false, true, false, false, true},
                                   {"both", true, true, false, true, true},
                                   {"short mail file", false, true, true, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sending s;
    if (c.mailFile) s.StoreMail("25", 0);
    if (c.ftpFile) s.StoreFtp(true);
    if (c.shortMailFile) WriteFile(s.program.File("setting2.bin"), std::string(212, 'x'));
    const SupportSending::Offered offered = s.sending->LoadStored();
    EXPECT_EQ(offered.mail, c.mail);
    EXPECT_EQ(offered.ftp, c.ftp);
    if (c.shortMailFile) {
      ExpectBoxes(s.boxes, {{base::BoxKind::Warning, "An error on a file\n\r..."}});
    } else {
      EXPECT_TRUE(s.boxes.Boxes().empty());
    }
  }
}

TEST(SupportSendingTest, PlainMailCarriesReportAndFilesAndIgnoresTheStoredPort) {
  testing::SmtpTestServer server({.startTls = true, .authBeforeTls = true});
  Sending s;
  s.StoreMail(std::to_string(testing::ClosedPort()), 0);  // used, it would fail the send
  s.sending->SetPlainPort(server.Port());
  s.Send(true, false);

  ExpectBoxes(s.boxes, {{base::BoxKind::Information, "message send"}});
  EXPECT_EQ(s.boxes.BusyChanges(), (std::vector<bool>{true, false}));
  EXPECT_EQ(s.boxes.BoxesWhileBusy(), 0);
  const auto mail = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->Fact("tls"), "0");
  EXPECT_EQ(mail->Fact("ehlo"), "WENLOagent");
  EXPECT_EQ(mail->Fact("login"), kUser);
  EXPECT_EQ(mail->Fact("mail_from"), kUser);
  EXPECT_EQ(mail->Facts("rcpt"), (std::vector<std::string>{"support@example.org", "lab@example.org"}));
  EXPECT_EQ(mail->Fact("header.Subject"), "Query support");
  EXPECT_EQ(mail->Fact("header.From"), std::string("\"duzedadareva\" <") + kUser + ">");
  ASSERT_EQ(mail->parts.size(), 3u);
  EXPECT_EQ(mail->parts[0].type, "text/plain");
  EXPECT_EQ(mail->parts[0].data, ReportText());
  EXPECT_EQ(mail->parts[1].filename, "run 1.dat");
  EXPECT_EQ(mail->parts[1].data, kDataBytes);
  EXPECT_EQ(mail->parts[2].filename, "criteria.ini");
  EXPECT_EQ(mail->parts[2].data, testing::kCriteriaBytes);
}

TEST(SupportSendingTest, PlainMailGoesWithoutAnUnreadableAttachment) {
  testing::SmtpTestServer server({});
  Sending s;
  std::filesystem::remove(s.data.Path() / "run 1.dat");
  s.StoreMail("25", 0);
  s.sending->SetPlainPort(server.Port());
  s.Send(true, false);

  ExpectBoxes(s.boxes, {{base::BoxKind::Error, "I attach a file was not successful!\n\r..."},
                        {base::BoxKind::Information, "message send"}});
  const auto mail = WaitForMail(server.Mails(), 1);
  ASSERT_TRUE(mail);
  ASSERT_EQ(mail->parts.size(), 2u);
  EXPECT_EQ(mail->parts[1].filename, "criteria.ini");
}

TEST(SupportSendingTest, IncompleteAccountOrFailedPlainMailEndsBeforeTheUpload) {
  testing::SmtpTestServer smtp({.authBeforeTls = true});
  testing::FtpTestServer ftp;
  struct Case {
    std::string name;
    MailFields stored;
    int plainPort;
    testing::ExpectedBox box;
  };
  const MailFields good{.host = "127.0.0.1", .port = "25", .login = kUser, .password = kPassword};
  std::vector<Case> cases;
  for (auto blank : {&MailFields::host, &MailFields::login, &MailFields::password}) {
    for (const bool startTls : {false, true}) {
      MailFields fields = good;
      fields.*blank = "";
      fields.startTls = startTls;
      cases.push_back(
          {"a field is empty", fields, smtp.Port(), {base::BoxKind::Warning, "Not all parameters are filled !"}});
    }
  }
  MailFields wrong = good;
  wrong.password = "wrong";
  cases.push_back({"wrong password", wrong, smtp.Port(), {base::BoxKind::Error, "Error : ..."}});
  const int closed = testing::ClosedPort();
  cases.push_back({"nothing listens",
                   good,
                   closed,
                   {base::BoxKind::Error, "Error : the server 127.0.0.1 port " + std::to_string(closed) +
                                              " refused the connection; check the server name and the port..."}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sending s(ftp.Port());
    config::SaveMailSettings(s.program.Path(), MailRecord(c.stored));
    s.StoreFtp(true);
    s.sending->SetPlainPort(c.plainPort);
    s.Send(true, true);
    ExpectBoxes(s.boxes, {c.box});
  }
  EXPECT_EQ(testing::CountMails(smtp.Mails()), 0);
  EXPECT_TRUE(ftp.Commands().empty());
}

TEST(SupportSendingTest, MailComponentPathThenTheUploadWhateverItsResult) {
  for (const testing::StartTlsCase& c : testing::StartTlsCases()) {
    SCOPED_TRACE(c.name);
    testing::SmtpTestServer smtp(c.options);
    testing::FtpTestServer ftp;
    Sending s(ftp.Port());
    s.StoreMail(std::to_string(smtp.Port()), 1, c.password);
    s.StoreFtp(true);
    s.Send(true, true);

    const std::string mailBox = c.tls.empty() ? "Error sending mail ! Check setting." : "message send";
    ExpectBoxes(s.boxes, {{c.tls.empty() ? base::BoxKind::Error : base::BoxKind::Information, mailBox},
                          {base::BoxKind::Information, "File for FTP copied"}});
    EXPECT_EQ(ReadFile(ftp.Home() / "run 1.dat"), kDataBytes);
    if (c.tls.empty()) {
      EXPECT_EQ(testing::CountMails(smtp.Mails()), 0);
      continue;
    }
    const auto mail = WaitForMail(smtp.Mails(), 1);
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->Fact("tls"), c.tls);
    EXPECT_EQ(mail->Fact("header.Subject"), "Query support");
    EXPECT_EQ(mail->Fact("header.From"), kUser);
    EXPECT_EQ(mail->Facts("rcpt"), (std::vector<std::string>{"support@example.org", "lab@example.org"}));
    const std::vector<std::string> report = s.sending->Report();
    ASSERT_EQ(mail->parts.size(), report.size() + 2);
    for (std::size_t i = 0; i < report.size(); ++i) {
      EXPECT_EQ(mail->parts[i].type, "text/plain");
      EXPECT_EQ(mail->parts[i].data, report[i]);
    }
    EXPECT_EQ(mail->parts[report.size()].filename, "run 1.dat");
    EXPECT_EQ(mail->parts[report.size()].data, kDataBytes);
    EXPECT_EQ(mail->parts[report.size() + 1].filename, "criteria.ini");
    EXPECT_EQ(mail->parts[report.size() + 1].data, testing::kCriteriaBytes);
  }
}

TEST(SupportSendingTest, MailComponentPortRules) {
  testing::FtpTestServer ftp;
  {
    Sending s;
    s.StoreMail("465", 1);
    s.Send(true, false);
    EXPECT_EQ(s.sending->MailClient().Port(), 587);
  }
  for (const std::string port : {"", "12x"}) {  // the stored field keeps at most 5 characters
    SCOPED_TRACE(port);
    Sending s(ftp.Port());
    s.StoreMail(port, 1);
    s.StoreFtp(true);
    s.Send(true, true);
    ExpectBoxes(s.boxes, {{base::BoxKind::Error, "''" + port + "'' is not a valid integer value"}});
  }
  EXPECT_TRUE(ftp.Commands().empty());
}

TEST(SupportSendingTest, UnknownConnectionChoiceSendsNothingButTheUploadRuns) {
  testing::SmtpTestServer smtp({});
  testing::FtpTestServer ftp;
  Sending s(ftp.Port());
  s.StoreMail(std::to_string(smtp.Port()), 2);
  s.StoreFtp(false);
  s.sending->SetPlainPort(smtp.Port());
  s.Send(true, true);
  ExpectBoxes(s.boxes, {{base::BoxKind::Information, "File for FTP copied"}});
  EXPECT_EQ(ReadFile(ftp.Home() / "run 1.dat"), kDataBytes);
  EXPECT_EQ(testing::CountMails(smtp.Mails()), 0);
}

struct UploadCase {
  std::string name;
  bool passive;
  std::string folder;      // unscrambled folder text of the criteria file
  std::string remotePath;  // where the data file lands, below the login folder
};

void PrintTo(const UploadCase& c, std::ostream* out) { *out << c.name; }

class SupportSendingUploadTest : public ::testing::TestWithParam<UploadCase> {};

TEST_P(SupportSendingUploadTest, UploadsDataFileAndCriteriaWithProgress) {
  const UploadCase& c = GetParam();
  testing::FtpTestServer ftp;
  std::filesystem::create_directories(ftp.Home() / "in" / "data");
  WriteFile(ftp.Home() / c.remotePath, std::string(300000, 'o'));
  WriteFile(ftp.Home() / "criteria.ini", std::string(300, 'o'));
  Sending s(ftp.Port(), c.folder.empty() ? "" : ScrambledFolder(c.folder));
  s.StoreFtp(c.passive);
  s.Send(false, true);

  ExpectBoxes(s.boxes, {{base::BoxKind::Information, "File for FTP copied"}});
  EXPECT_EQ(s.boxes.BoxesWhileBusy(), 0);
  EXPECT_EQ(ReadFile(ftp.Home() / c.remotePath), kDataBytes);
  EXPECT_EQ(ReadFile(ftp.Home() / "criteria.ini"), testing::kCriteriaBytes);

  s.progress.ExpectUploads(
      {static_cast<std::int64_t>(kDataBytes.size()), static_cast<std::int64_t>(testing::kCriteriaBytes.size())});

  ASSERT_TRUE(QuitReceived(ftp));
  const auto commands = ftp.Commands();
  const auto count = [&](const char* name) { return std::count(commands.begin(), commands.end(), name); };
  EXPECT_EQ(count("STOR"), 2);
  EXPECT_EQ(count("EPSV") + count("PASV"), c.passive ? 2 : 0);
  EXPECT_EQ(count("EPRT") + count("PORT"), c.passive ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(Folders, SupportSendingUploadTest,
                         ::testing::Values(UploadCase{"PassiveNoFolder", true, "", "run 1.dat"},
                                           UploadCase{"ActiveNoFolder", false, "", "run 1.dat"},
                                           UploadCase{"PassiveFolder", true, "in\\data\\", "in/data/run 1.dat"},
                                           UploadCase{"ActiveFolder", false, "in\\data\\", "in/data/run 1.dat"},
                                           UploadCase{"FolderWithoutSeparator", true, "in\\pre_", "in/pre_run 1.dat"}),
                         [](const ::testing::TestParamInfo<UploadCase>& info) { return info.param.name; });

TEST(SupportSendingTest, UploadFailuresEachHaveTheirBox) {
  testing::FtpTestServer ftp;
  struct Case {
    std::string name;
    std::string server;
    int port;
    FtpFields stored;
    std::string folder;
    testing::ExpectedBox box;
  };
  const FtpFields good{kUser, kPassword, true};
  const std::string incomplete = "Not all parameters are filled !";
  const std::vector<Case> cases = {
      {"no server", "", ftp.Port(), good, "", {base::BoxKind::Warning, incomplete}},
      {"port 0", "127.0.0.1", 0, good, "", {base::BoxKind::Warning, incomplete}},
      {"no account", "127.0.0.1", ftp.Port(), {"", kPassword, true}, "", {base::BoxKind::Warning, incomplete}},
      {"no password", "127.0.0.1", ftp.Port(), {kUser, "", true}, "", {base::BoxKind::Warning, incomplete}},
      {"port too big", "127.0.0.1", 70000, good, "", {base::BoxKind::Error, "Port is not set!"}},
      {"wrong password",
       "127.0.0.1",
       ftp.Port(),
       {kUser, "wrong", true},
       "",
       {base::BoxKind::Warning, "Error to connect to FTP\n\r..."}},
      {"missing folder",
       "127.0.0.1",
       ftp.Port(),
       good,
       ScrambledFolder("missing\\"),
       {base::BoxKind::Warning, "Error sending the file to FTP\n\r..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramFolder program;
    FeedbackBoxes boxes;
    config::SaveFtpSettings(program.Path(), FtpRecord(c.stored));
    SupportSending sending({.programFolder = program.Path(),
                            .dataFilePath = program.File("criteria.ini").string(),
                            .ftpServer = c.server,
                            .ftpPort = c.port,
                            .ftpPath = c.folder},
                           boxes);
    sending.SetConnection(testing::TestConnection());
    sending.SetFeedback(boxes.Feedback());
    sending.LoadStored();
    sending.Send(false, true);
    ExpectBoxes(boxes, {c.box});
    EXPECT_FALSE(boxes.Busy());
  }
  EXPECT_FALSE(std::filesystem::exists(ftp.Home() / "criteria.ini"));
  ASSERT_TRUE(QuitReceived(ftp));
}

TEST(SupportSendingTest, SilentServersEndInTheErrorBox) {
  testing::SilentListener silent;
  for (const uint8_t useTls : {0, 1}) {
    Sending s(0, "", testing::ShortConnection());
    s.StoreMail(std::to_string(silent.Port()), useTls);
    s.sending->SetPlainPort(silent.Port());
    s.Send(true, false);
    ExpectBoxes(s.boxes, {{base::BoxKind::Error, useTls == 0 ? "Error : the server 127.0.0.1 port " +
                                                                   std::to_string(silent.Port()) + " did not answer..."
                                                             : "Error sending mail ! Check setting."}});
  }
  Sending s(silent.Port(), "", testing::ShortConnection());
  s.StoreFtp(true);
  s.Send(false, true);
  ExpectBoxes(s.boxes, {{base::BoxKind::Warning, "Error to connect to FTP\n\r..."}});
  EXPECT_NE(s.boxes.Texts()[0].find("did not answer"), std::string::npos) << s.boxes.Texts()[0];
}

// A mail that cannot go out says why in the box, whichever connection choice is stored.
TEST(SupportSendingTest, MailFailuresNameTheirReason) {
  testing::SmtpTestServer smtp({.startTls = true, .authBeforeTls = true});
  struct Case {
    std::string name;
    std::string host;
    std::string mailSupport;
    testing::ExpectedBox box;
  };
  const std::string noAddress =
      "Error : there is no support address to send to; the key mailsupport in criteria.ini is missing or "
      "empty";
  const std::vector<Case> cases = {
      {"no support address", "127.0.0.1", "", {base::BoxKind::Error, noAddress}},
      {"blank support address", "127.0.0.1", "  ", {base::BoxKind::Error, noAddress}},
      {"unresolvable host",
       "no-such-host.invalid",
       "support@example.org",
       {base::BoxKind::Error, "Error : the server name no-such-host.invalid cannot be found..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The "SSL/TSL" choice keeps its own box for a mail the server did not take; a missing address is
    // told the same way on both paths.
    const std::vector<uint8_t> choices =
        c.mailSupport == "support@example.org" ? std::vector<uint8_t>{0} : std::vector<uint8_t>{0, 1};
    for (const uint8_t useTls : choices) {
      Sending s(0, "", testing::TestConnection(), c.mailSupport);
      s.StoreMail(std::to_string(smtp.Port()), useTls, kPassword, c.host);
      s.sending->SetPlainPort(smtp.Port());
      s.Send(true, false);
      ExpectBoxes(s.boxes, {c.box});
    }
  }
  EXPECT_TRUE(smtp.Commands().empty()) << "nothing connected to the server";
}

}  // namespace
}  // namespace quarn::support

namespace quarn::support {
namespace {

// The part of a message after its preamble, as MimeMessage::Encode writes it with this boundary.
std::string EncodedParts(const std::vector<MimePart>& parts, const std::string& boundary) {
  std::string out;
  for (const MimePart& part : parts) {
    out += "--" + boundary + "\r\n";
    for (const MimeHeader& header : part.headers) out += header.name + ": " + header.value + "\r\n";
    out += "\r\n" + part.encodedBody + "\r\n";
  }
  return out + "--" + boundary + "--\r\n";
}

// Beside the data file, the evaluation report exported next to it and the calibration log of its folder: the
// mail carries both after the data file and the criteria file, byte for byte, and the upload puts them where
// the data file goes. Unticked or missing, they stay home.
TEST(SupportSendingTest, TheReportAndTheCalibrationLogGoBesideTheDataFile) {
  testing::SmtpTestServer smtp({.startTls = true});
  testing::FtpTestServer ftp;
  Sending s(ftp.Port());
  const std::string report = "%PDF-1.4\n" + BinaryBytes(70000) + "%%EOF\n";
  const std::string log = "time\tserial\tfirmware\tstep\r\n14.03.2026 07:40:00\t012345\tv2.31\tzero\r\n";
  WriteFile(s.data.Path() / "run 1.pdf", report);
  WriteFile(s.data.Path() / "calibration.tsv", log);
  EXPECT_EQ(s.sending->EvaluationReportPath(), (s.data.Path() / "run 1.pdf").string());
  EXPECT_EQ(s.sending->CalibrationLogPath(), (s.data.Path() / "calibration.tsv").string());
  s.StoreMail(std::to_string(smtp.Port()), 1);
  s.StoreFtp(true);
  s.Send(true, true);
  ExpectBoxes(s.boxes,
              {{base::BoxKind::Information, "message send"}, {base::BoxKind::Information, "File for FTP copied"}});

  const auto mail = WaitForMail(smtp.Mails(), 1);
  ASSERT_TRUE(mail);
  const std::vector<std::string> lines = s.sending->Report();
  std::vector<MimePart> parts;
  for (const std::string& line : lines)
    parts.push_back(MakeTextPart(base::Utf8ToCp1252(line), "plain", "Message text"));
  const std::vector<std::pair<std::string, std::string>> attached = {{"run 1.dat", kDataBytes},
                                                                     {"criteria.ini", testing::kCriteriaBytes},
                                                                     {"run 1.pdf", report},
                                                                     {"calibration.tsv", log}};
  for (const auto& [name, bytes] : attached) parts.push_back(MakeAttachmentPart(name, bytes));
  ASSERT_EQ(mail->parts.size(), parts.size());
  for (size_t i = 0; i < attached.size(); ++i) {
    EXPECT_EQ(mail->parts[lines.size() + i].filename, attached[i].first);
    EXPECT_EQ(mail->parts[lines.size() + i].data, attached[i].second) << attached[i].first;
  }
  // Byte for byte from the first boundary on, in the message's own boundary.
  const std::string contentType = mail->Fact("header.Content-Type");
  const size_t quote = contentType.find("boundary=\"");
  ASSERT_NE(quote, std::string::npos) << contentType;
  const std::string boundary = contentType.substr(quote + 10, contentType.find('"', quote + 10) - quote - 10);
  const size_t first = mail->raw.find("--" + boundary + "\r\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(mail->raw.substr(first), EncodedParts(parts, boundary));
  EXPECT_EQ(ReadFile(ftp.Home() / "run 1.pdf"), report);
  EXPECT_EQ(ReadFile(ftp.Home() / "calibration.tsv"), log);

  // Unticked, the report stays home; the log still goes.
  testing::SmtpTestServer second({.startTls = true});
  s.StoreMail(std::to_string(second.Port()), 1);
  s.sending->SetAttachEvaluationReport(false);
  s.Send(true, false);
  const auto without = WaitForMail(second.Mails(), 1);
  ASSERT_TRUE(without);
  ASSERT_EQ(without->parts.size(), lines.size() + 3);
  EXPECT_EQ(without->parts.back().filename, "calibration.tsv");
  EXPECT_EQ(s.sending->Attachments().size(), 3u);
  std::filesystem::remove(s.data.Path() / "calibration.tsv");
  EXPECT_EQ(s.sending->Attachments().size(), 2u);
}

}  // namespace
}  // namespace quarn::support
