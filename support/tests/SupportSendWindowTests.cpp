// The send-to-support window: its controls, the transports it offers, and a send through the button with
// the upload's progress bar and the busy cursor.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "support/SupportSendWindow.h"
#include "support/tests/CursorBoxes.h"
#include "support/tests/SupportFixtures.h"

namespace quarn::support {
namespace {

using namespace testing;

const std::string kDataBytes = testing::BinaryBytes(3'000'000);

struct Window {
  // besides: files written beside the data file before the window is made.
  explicit Window(int ftpPort = 0, const std::vector<std::pair<std::string, std::string>>& besides = {}) {
    testing::WriteFile(data.Path() / "run.dat", kDataBytes);
    for (const auto& [name, bytes] : besides) testing::WriteFile(data.Path() / name, bytes);
    form = std::make_unique<SupportSendWindow>(SendInputs{.programFolder = program.Path(),
                                                          .identity = {"7", "012345", "v2.31", "T5", "R3"},
                                                          .dataFilePath = (data.Path() / "run.dat").string(),
                                                          .supportMail = "support@example.org",
                                                          .ftpServer = "127.0.0.1",
                                                          .ftpPort = ftpPort},
                                               boxes);
    form->Sending().SetConnection(testing::TestConnection());
  }
  QCheckBox* Mail() { return Find<QCheckBox>(*form, "CBmail"); }
  QCheckBox* Ftp() { return Find<QCheckBox>(*form, "CBFtp"); }
  QProgressBar* Progress() { return Find<QProgressBar>(*form, "PB1"); }

  ProgramFolder program;
  testing::TempFolder data;
  testing::CursorBoxes boxes;
  std::unique_ptr<SupportSendWindow> form;
};

TEST(SupportSendWindowTest, ControlsAndTheTransportsOffered) {
  {
    Window w;
    w.form->show();
    EXPECT_EQ(w.form->windowTitle(), "Send info to support");
    auto* group = w.form->findChild<QGroupBox*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), "Select mode");
    EXPECT_EQ(w.Mail()->text(), " by e-mail");
    EXPECT_EQ(w.Ftp()->text(), " by FTP");
    EXPECT_EQ(Find<QPushButton>(*w.form, "bSend")->text(), " Send");
    Find<QPushButton>(*w.form, "bClose");
    for (QCheckBox* box : {w.Mail(), w.Ftp()}) {
      EXPECT_FALSE(box->isEnabled());
      EXPECT_FALSE(box->isChecked());
    }
    EXPECT_FALSE(w.Progress()->isVisible());
    QTest::mouseClick(Find<QPushButton>(*w.form, "bSend"), Qt::LeftButton);
    EXPECT_TRUE(w.boxes.Boxes().empty());
  }
  {
    Window w;
    config::SaveMailSettings(w.program.Path(), MailRecord({"h", "25", kUser, kPassword, "", false}));
    config::SaveFtpSettings(w.program.Path(), FtpRecord({kUser, kPassword, true}));
    w.form->show();
    for (QCheckBox* box : {w.Mail(), w.Ftp()}) {
      EXPECT_TRUE(box->isEnabled());
      EXPECT_FALSE(box->isChecked());
    }
  }
  {
    Window w;
    testing::WriteFile(w.program.File("setting3.bin"), "short");
    w.form->show();
    EXPECT_FALSE(w.Ftp()->isEnabled());
    testing::ExpectBoxes(w.boxes, {{base::BoxKind::Warning, "An error on a file\n\r..."}});
  }
}

TEST(SupportSendWindowTest, SendMailsThenUploadsWithProgressUnderABusyCursor) {
  testing::SmtpTestServer smtp({});
  testing::FtpTestServer ftp;
  Window w(ftp.Port());
  config::SaveMailSettings(w.program.Path(), MailRecord({"127.0.0.1", "2525", kUser, kPassword, "", false}));
  config::SaveFtpSettings(w.program.Path(), FtpRecord({kUser, kPassword, true}));
  w.form->Sending().SetPlainPort(smtp.Port());
  w.form->show();
  w.Mail()->setChecked(true);
  w.Ftp()->setChecked(true);

  struct Seen {
    bool visible;
    int maximum;
    int value;
    bool busyCursor;
  };
  std::vector<Seen> seen;
  QObject::connect(w.Progress(), &QProgressBar::valueChanged, [&](int value) {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    seen.push_back({w.Progress()->isVisible(), w.Progress()->maximum(), value,
                    cursor != nullptr && cursor->shape() == Qt::WaitCursor});
  });
  QTest::mouseClick(Find<QPushButton>(*w.form, "bSend"), Qt::LeftButton);

  testing::ExpectBoxes(
      w.boxes, {{base::BoxKind::Information, "message send"}, {base::BoxKind::Information, "File for FTP copied"}});
  EXPECT_EQ(w.boxes.UnderBusyCursor(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(w.Progress()->isVisible());
  ASSERT_TRUE(testing::WaitForMail(smtp.Mails(), 1));
  EXPECT_EQ(testing::ReadFile(ftp.Home() / "run.dat"), kDataBytes);

  const int dataSize = static_cast<int>(kDataBytes.size());
  ASSERT_GT(seen.size(), 2u);
  EXPECT_EQ(seen.front().maximum, dataSize);
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [&](const Seen& s) {
    return s.maximum == dataSize && s.value > 0 && s.value < dataSize;
  })) << "no progress between start and end";
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                          [&](const Seen& s) { return s.maximum == dataSize && s.value == dataSize; }));
  for (const Seen& s : seen) {
    EXPECT_TRUE(s.visible);
    EXPECT_TRUE(s.busyCursor);
  }
}

// The "SSL/TSL" support mail through the button when the server's STARTTLS fails, and an upload that fails
// too: neither the login nor the message reaches the server, and every box waits until the cursor is back.
TEST(SupportSendWindowTest, FailedStartTlsSendsNothingAndNoBoxComesUnderTheBusyCursor) {
  for (const std::string fault : {"refuse", "break"}) {
    SCOPED_TRACE(fault);
    testing::SmtpTestServer smtp({.startTls = true, .authBeforeTls = true, .startTlsFault = fault});
    Window w(testing::ClosedPort());
    config::MailSettingsRecord record =
        MailRecord({"127.0.0.1", std::to_string(smtp.Port()), kUser, kPassword, "", true});
    config::SaveMailSettings(w.program.Path(), record);
    config::SaveFtpSettings(w.program.Path(), FtpRecord({kUser, kPassword, true}));
    w.form->show();
    QTest::mouseClick(w.Mail(), Qt::LeftButton);
    QTest::mouseClick(w.Ftp(), Qt::LeftButton);
    ASSERT_TRUE(w.Mail()->isChecked() && w.Ftp()->isChecked());
    QTest::mouseClick(Find<QPushButton>(*w.form, "bSend"), Qt::LeftButton);

    testing::ExpectBoxes(w.boxes, {{base::BoxKind::Error, "Error sending mail ! Check setting."},
                                   {base::BoxKind::Warning, "Error to connect to FTP\n\r..."}});
    EXPECT_EQ(w.boxes.UnderBusyCursor(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    const std::vector<std::string> commands = smtp.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "STARTTLS"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "AUTH"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "MAIL"), commands.end());
    EXPECT_EQ(testing::CountMails(smtp.Mails()), 0);
  }
}

}  // namespace
}  // namespace quarn::support

namespace quarn::support {
namespace {

// The evaluation report beside the data file and the calibration log of its folder are offered ticked where
// they exist and not at all where they do not; a box unticked by a click keeps its file out of the mail.
TEST(SupportSendWindowTest, TheReportAndTheLogAreOfferedTickedWhereTheyExist) {
  {
    Window w;
    w.form->show();
    for (const char* name : {"CBReport", "CBCalibrationLog"}) {
      EXPECT_FALSE(Find<QCheckBox>(*w.form, name)->isEnabled()) << name;
      EXPECT_FALSE(Find<QCheckBox>(*w.form, name)->isChecked()) << name;
    }
  }
  testing::SmtpTestServer smtp({});
  Window w(0, {{"run.pdf", "%PDF-1.4\n" + testing::BinaryBytes(5000)}, {"calibration.tsv", "time\tserial\r\n"}});
  config::SaveMailSettings(w.program.Path(), MailRecord({"127.0.0.1", "2525", kUser, kPassword, "", false}));
  w.form->Sending().SetPlainPort(smtp.Port());
  w.form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
  auto* report = Find<QCheckBox>(*w.form, "CBReport");
  auto* log = Find<QCheckBox>(*w.form, "CBCalibrationLog");
  EXPECT_EQ(report->text(), " evaluation report (run.pdf)");
  EXPECT_EQ(log->text(), " calibration log (calibration.tsv)");
  for (QCheckBox* box : {report, log}) {
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(box->isChecked());
  }
  QTest::mouseClick(report, Qt::LeftButton, {}, QPoint(8, report->height() / 2));
  EXPECT_FALSE(report->isChecked());
  QTest::mouseClick(w.Mail(), Qt::LeftButton, {}, QPoint(8, w.Mail()->height() / 2));
  ASSERT_TRUE(w.Mail()->isChecked());
  QTest::mouseClick(Find<QPushButton>(*w.form, "bSend"), Qt::LeftButton);
  testing::ExpectBoxes(w.boxes, {{base::BoxKind::Information, "message send"}});
  const auto mail = testing::WaitForMail(smtp.Mails(), 1);
  ASSERT_TRUE(mail);
  std::vector<std::string> names;
  for (const auto& part : mail->parts) {
    if (!part.filename.empty()) names.push_back(part.filename);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"run.dat", "criteria.ini", "calibration.tsv"}));
}

}  // namespace
}  // namespace quarn::support
