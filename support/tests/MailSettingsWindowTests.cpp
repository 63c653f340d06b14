// The mail and FTP settings window: its controls, the port row's key filter, loading and saving, help,
// and a test upload through the button.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "support/MailSettingsWindow.h"
#include "support/tests/CursorBoxes.h"
#include "support/tests/SupportFixtures.h"

namespace quarn::support {
namespace {

using namespace testing;

// The cell editor the grid has open, if any.
QLineEdit* OpenEditor(const QTableWidget& grid) {
  for (QLineEdit* editor : grid.findChildren<QLineEdit*>()) {
    if (editor->isVisible()) return editor;
  }
  return nullptr;
}

QStringList LabelTexts(const QWidget& form) {
  QStringList texts;
  for (const QLabel* label : form.findChildren<QLabel*>()) texts << label->text();
  return texts;
}

// Receives the URLs the window hands to the desktop instead of starting a viewer.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls << url; }
};

struct Window {
  explicit Window(int ftpPort = 21, std::string ftpPath = "")
      : form(program.Path(), "127.0.0.1", ftpPort, std::move(ftpPath), boxes) {
    form.Setup().SetConnection(testing::TestConnection());
  }
  QTableWidget* Grid() { return Find<QTableWidget>(form, "VLE1"); }
  QString Value(MailSettingsWindow::Row row) { return Grid()->item(row, 1)->text(); }

  ProgramFolder program;
  testing::CursorBoxes boxes;
  MailSettingsWindow form;
};

TEST(MailSettingsWindowTest, ControlsStartFromTheirDefaults) {
  Window w;
  w.form.show();
  EXPECT_EQ(w.form.windowTitle(), "Mail configuration");
  EXPECT_TRUE(w.boxes.Boxes().empty());

  QTableWidget* grid = w.Grid();
  ASSERT_EQ(grid->rowCount(), 4);
  const QStringList keys = {"SMTP server", "Port SMTP", "e-mail (login)", "e-mail for test"};
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(grid->item(row, 0)->text(), keys[row]);
    EXPECT_FALSE(grid->item(row, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->item(row, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(grid->item(row, 1)->text(), row == MailSettingsWindow::kPortRow ? "25" : "");
  }

  for (const char* name : {"ePassE", "eAccountFTP", "ePassFtp"}) {
    QLineEdit* edit = Find<QLineEdit>(w.form, name);
    EXPECT_EQ(edit->maxLength(), 30) << name;
    EXPECT_TRUE(edit->text().isEmpty()) << name;
    EXPECT_EQ(edit->echoMode(), std::string(name) == "eAccountFTP" ? QLineEdit::Normal : QLineEdit::Password);
  }
  const std::vector<std::pair<const char*, QString>> checks = {
      {"CBpassE", "Show password"}, {"CBpassFtp", "Show password"}, {"CBpassive", "Passive mode"}};
  for (const auto& [name, caption] : checks) {
    EXPECT_EQ(Find<QCheckBox>(w.form, name)->text(), caption);
    EXPECT_FALSE(Find<QCheckBox>(w.form, name)->isChecked());
  }
  QComboBox* connection = Find<QComboBox>(w.form, "CB1");
  ASSERT_EQ(connection->count(), 2);
  EXPECT_EQ(connection->itemText(0), "none ciphering");
  EXPECT_EQ(connection->itemText(1), "SSL/TSL");
  EXPECT_EQ(connection->currentIndex(), 0);
  const std::vector<std::pair<const char*, QString>> buttons = {
      {"bTestE", "Test E-Mail"}, {"bSaveE", "save"}, {"bTestFtp", "Test FTP"}, {"bSaveFtp", "save"}};
  for (const auto& [name, caption] : buttons) EXPECT_EQ(Find<QPushButton>(w.form, name)->text(), caption);
  Find<QPushButton>(w.form, "bClose");
  const QStringList labels = LabelTexts(w.form);
  for (const char* text : {"Setting E-Mail", "Setting FTP", "Password", "Connection", "Account"}) {
    EXPECT_TRUE(labels.contains(text)) << text;
  }
}

TEST(MailSettingsWindowTest, ShowPasswordTicksUnmask) {
  Window w;
  for (const auto& [box, edit] : {std::pair{"CBpassE", "ePassE"}, std::pair{"CBpassFtp", "ePassFtp"}}) {
    QCheckBox* show = Find<QCheckBox>(w.form, box);
    QTest::mouseClick(show, Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(w.form, edit)->echoMode(), QLineEdit::Normal) << box;
    QTest::mouseClick(show, Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(w.form, edit)->echoMode(), QLineEdit::Password) << box;
  }
}

TEST(MailSettingsWindowTest, PortRowTakesOnlyDigitsBackspaceAndEnter) {
  Window w;
  w.form.show();
  QTableWidget* grid = w.Grid();
  QGuiApplication::clipboard()->setText("99x");

  // Entering a value cell opens its editor at once.
  grid->setCurrentCell(MailSettingsWindow::kPortRow, 1);
  QLineEdit* editor = OpenEditor(*grid);
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, "a7.x 8");
  EXPECT_EQ(editor->text(), "2578");
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(editor->text(), "257");
  QTest::keyClick(editor, Qt::Key_Return);
  // The grid commits and closes the editor through its event loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return OpenEditor(*grid) == nullptr; }, 5000));
  EXPECT_EQ(w.Value(MailSettingsWindow::kPortRow), "257");

  // Typed on the grid itself: a letter neither opens an editor nor changes the value.
  QTest::keyClick(grid, Qt::Key_A);
  EXPECT_EQ(OpenEditor(*grid), nullptr);
  EXPECT_EQ(w.Value(MailSettingsWindow::kPortRow), "257");

  // Other rows take any text.
  grid->setCurrentCell(MailSettingsWindow::kLoginRow, 1);
  QLineEdit* loginEditor = OpenEditor(*grid);
  ASSERT_NE(loginEditor, nullptr);
  QTest::keyClicks(loginEditor, "me@x.org");
  QTest::keyClick(loginEditor, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(loginEditor, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return OpenEditor(*grid) == nullptr; }, 5000));
  EXPECT_EQ(w.Value(MailSettingsWindow::kLoginRow), "me@x.org99x");
}

TEST(MailSettingsWindowTest, ShowFillsTheControlsFromTheStoredFiles) {
  Window w;
  config::MailSettingsRecord mail = MailRecord({"smtp.example.org", "", kUser, "pw1", "test@example.org", false});
  mail.UseTLS = 2;
  config::SaveMailSettings(w.program.Path(), mail);
  config::SaveFtpSettings(w.program.Path(), FtpRecord({"ftpuser", "pw2", true}));
  w.form.show();

  EXPECT_EQ(w.Value(MailSettingsWindow::kSmtpServerRow), "smtp.example.org");
  EXPECT_EQ(w.Value(MailSettingsWindow::kPortRow), "25");
  EXPECT_EQ(w.Value(MailSettingsWindow::kLoginRow), kUser);
  EXPECT_EQ(w.Value(MailSettingsWindow::kTestAddressRow), "test@example.org");
  EXPECT_EQ(Find<QLineEdit>(w.form, "ePassE")->text(), "pw1");
  EXPECT_EQ(Find<QComboBox>(w.form, "CB1")->currentIndex(), 1);
  EXPECT_EQ(Find<QLineEdit>(w.form, "eAccountFTP")->text(), "ftpuser");
  EXPECT_EQ(Find<QLineEdit>(w.form, "ePassFtp")->text(), "pw2");
  EXPECT_TRUE(Find<QCheckBox>(w.form, "CBpassive")->isChecked());
  EXPECT_TRUE(w.boxes.Boxes().empty());

  Window damaged;
  testing::WriteFile(damaged.program.File("setting2.bin"), "short");
  damaged.form.show();
  testing::ExpectBoxes(damaged.boxes, {{base::BoxKind::Warning, "Error on a file\n\r..."}});
  EXPECT_EQ(damaged.Value(MailSettingsWindow::kPortRow), "25");
}

TEST(MailSettingsWindowTest, SaveButtonsStoreWhatTheControlsHold) {
  Window w;
  w.form.show();
  QTableWidget* grid = w.Grid();
  grid->item(MailSettingsWindow::kSmtpServerRow, 1)->setText("smtp.example.org");
  grid->item(MailSettingsWindow::kPortRow, 1)->setText("587");
  grid->item(MailSettingsWindow::kLoginRow, 1)->setText(kUser);
  Find<QLineEdit>(w.form, "ePassE")->setText("pw1");
  Find<QComboBox>(w.form, "CB1")->setCurrentIndex(1);
  Find<QLineEdit>(w.form, "eAccountFTP")->setText("ftpuser");
  Find<QCheckBox>(w.form, "CBpassive")->setChecked(true);
  QTest::mouseClick(Find<QPushButton>(w.form, "bSaveE"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(w.form, "bSaveFtp"), Qt::LeftButton);

  testing::ExpectBoxes(w.boxes, {{base::BoxKind::Information, "Settings E-Mail saved !"},
                                 {base::BoxKind::Information, "Settings FTP saved !"}});
  const config::MailSettingsRecord mail = config::LoadMailSettings(w.program.Path());
  EXPECT_EQ(config::ScrambledText(mail.Host), "smtp.example.org");
  EXPECT_EQ(config::ScrambledText(mail.Port), "587");
  EXPECT_EQ(config::ScrambledText(mail.Login), kUser);
  EXPECT_EQ(config::ScrambledText(mail.Password), "pw1");
  EXPECT_EQ(config::ScrambledText(mail.TestAddress), "");
  EXPECT_EQ(mail.UseTLS, 1);
  const config::FtpSettingsRecord ftp = config::LoadFtpSettings(w.program.Path());
  EXPECT_EQ(config::ScrambledText(ftp.Account), "ftpuser");
  EXPECT_EQ(config::ScrambledText(ftp.Password), "");
  EXPECT_EQ(ftp.Passive, 1);
}

TEST(MailSettingsWindowTest, HelpOpensTheFileOrSaysItIsMissing) {
  Window w;
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  w.form.show();
  w.form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.form));

  QTest::keyClick(&w.form, Qt::Key_F1);
  testing::ExpectBoxes(w.boxes, {{base::BoxKind::Warning, "The Help file is not found !"}});
  EXPECT_TRUE(catcher.urls.isEmpty());

  testing::WriteFile(w.program.File("help.chm"), "help");
  QTest::keyClick(&w.form, Qt::Key_F1);
  EXPECT_EQ(w.boxes.Boxes().size(), 1u);
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString(), w.program.File("help.chm").string());
  QDesktopServices::unsetUrlHandler("file");
}

TEST(MailSettingsWindowTest, TestFtpButtonUploadsThenAsksWithTheCursorRestored) {
  testing::FtpTestServer server;
  Window w(server.Port(), "");
  w.boxes.QueueAnswer(base::BoxAnswer::No);
  w.form.show();
  Find<QLineEdit>(w.form, "eAccountFTP")->setText(kUser);
  Find<QLineEdit>(w.form, "ePassFtp")->setText(kPassword);
  QTest::mouseClick(Find<QPushButton>(w.form, "bTestFtp"), Qt::LeftButton);

  testing::ExpectBoxes(w.boxes,
                       {{base::BoxKind::Information, "Test file <commands.ini> successfully sent\n\rSave Settings?"}});
  EXPECT_EQ(w.boxes.UnderBusyCursor(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(testing::ReadFile(server.Home() / "commands.ini"), testing::kCommandsBytes);
  EXPECT_FALSE(std::filesystem::exists(w.program.File("setting3.bin")));
}

// The "SSL/TSL" test mail through the button: a STARTTLS that is offered and then fails ends before the
// login; a server without STARTTLS still gets the mail. No box comes up under the busy cursor.
TEST(MailSettingsWindowTest, TestMailButtonNeverLogsInAfterAFailedStartTls) {
  struct Case {
    std::string name;
    testing::SmtpServerOptions server;
    testing::ExpectedBox box;
  };
  const std::vector<Case> cases = {
      {"STARTTLS answered 454",
       {.startTls = true, .authBeforeTls = true, .startTlsFault = "refuse"},
       {base::BoxKind::Error, "Error sending mail ! Check setting."}},
      {"handshake broken",
       {.startTls = true, .authBeforeTls = true, .startTlsFault = "break"},
       {base::BoxKind::Error, "Error sending mail ! Check setting."}},
      {"no STARTTLS offered",
       {.authBeforeTls = true},
       {base::BoxKind::Information, "Test mail send!\n\rSave setting?"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SmtpTestServer server(c.server);
    Window w;
    w.boxes.QueueAnswer(base::BoxAnswer::No);
    config::SaveMailSettings(w.program.Path(), MailRecord({"127.0.0.1", std::to_string(server.Port()), kUser, kPassword,
                                                           "test@example.org", true}));
    w.form.show();
    ASSERT_EQ(Find<QComboBox>(w.form, "CB1")->currentIndex(), 1);
    QTest::mouseClick(Find<QPushButton>(w.form, "bTestE"), Qt::LeftButton);

    testing::ExpectBoxes(w.boxes, {c.box});
    EXPECT_EQ(w.boxes.UnderBusyCursor(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    const std::vector<std::string> commands = server.Commands();
    const bool sent = c.box.kind == base::BoxKind::Information;
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AUTH"), sent ? 1 : 0);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "MAIL"), sent ? 1 : 0);
    EXPECT_EQ(testing::CountMails(server.Mails()), sent ? 1 : 0);
  }
}

}  // namespace
}  // namespace quarn::support

#include "MailSettingsWindowTests.moc"
