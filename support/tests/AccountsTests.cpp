// The account fields of the settings window and their records in the settings files.

#include <gtest/gtest.h>

#include "support/Accounts.h"
#include "support/tests/TestServers.h"

namespace quarn::support {
namespace {

bool operator==(const MailFields& a, const MailFields& b) {
  return a.host == b.host && a.port == b.port && a.login == b.login && a.password == b.password &&
         a.testAddress == b.testAddress && a.startTls == b.startTls;
}
bool operator==(const FtpFields& a, const FtpFields& b) {
  return a.account == b.account && a.password == b.password && a.passive == b.passive;
}

TEST(AccountsTest, FieldsSurviveTheSettingsFiles) {
  testing::TempFolder folder;
  const MailFields mail{"smtp.example.org", "2525", "me@example.org", "pässword", "test@example.org", true};
  const FtpFields ftp{"engineer", "s3cret", true};
  config::SaveMailSettings(folder.Path(), MailRecord(mail));
  config::SaveFtpSettings(folder.Path(), FtpRecord(ftp));

  EXPECT_TRUE(MailFieldsFrom(config::LoadMailSettings(folder.Path())) == mail);
  EXPECT_TRUE(FtpFieldsFrom(config::LoadFtpSettings(folder.Path())) == ftp);
  EXPECT_EQ(testing::ReadFile(folder.Path() / "setting2.bin").size(), 213u);
  EXPECT_EQ(testing::ReadFile(folder.Path() / "setting3.bin").size(), 97u);
}

TEST(AccountsTest, LoadedRecordsFillGaps) {
  config::MailSettingsRecord mail = MailRecord({.host = "h", .port = "", .login = "l", .password = "p"});
  EXPECT_EQ(MailFieldsFrom(mail).port, "25");
  EXPECT_FALSE(MailFieldsFrom(mail).startTls);
  mail.UseTLS = 2;
  EXPECT_TRUE(MailFieldsFrom(mail).startTls);

  config::FtpSettingsRecord ftp = FtpRecord({"a", "", false});
  EXPECT_FALSE(FtpFieldsFrom(ftp).passive);
  ftp.Passive = 7;
  EXPECT_TRUE(FtpFieldsFrom(ftp).passive);
}

TEST(AccountsTest, WholeNumbers) {
  struct Case {
    std::string text;
    std::optional<int32_t> expected;
  };
  const std::vector<Case> cases = {
      {"25", 25},
      {"0465", 465},
      {"-3", -3},
      {"+587", 587},
      {"2147483647", INT32_MAX},
      {"2147483648", std::nullopt},
      {"", std::nullopt},
      {"25 ", std::nullopt},
      {" 25", std::nullopt},
      {"2x", std::nullopt},
      {"+-1", std::nullopt},
      {"+", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(WholeNumber(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_EQ(NotAWholeNumberText("2x"), "''2x'' is not a valid integer value");
}

TEST(AccountsTest, TestUploadFolderGetsATrailingBackslash) {
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", ""}, {"x", "x"}, {"\\", "\\"}, {"in", "in\\"}, {"in\\data\\", "in\\data\\"}, {"in/data", "in/data\\"}};
  for (const Case& c : cases) EXPECT_EQ(TestUploadFolder(c.path), c.expected) << c.path;
}

}  // namespace
}  // namespace quarn::support
