#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/Files.h"
#include "config/Codec.h"
#include "config/StoredSettings.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::ReadBytes;
using testing::TemporaryFolder;
using testing::WriteBytes;

MailSettingsRecord SampleMail() {
  MailSettingsRecord mail;
  SetScrambledText(mail.Host, "smtp.example.org");
  SetScrambledText(mail.Port, "587");
  SetScrambledText(mail.Login, std::string(49, 'L'));               // the longest login kept whole at total 50
  SetScrambledText(mail.Password, "p\xC3\xA4ss=w\xE2\x82\xAC rd");  // päss=w€ rd
  SetScrambledText(mail.TestAddress, "");
  mail.UseTLS = 1;
  return mail;
}

FtpSettingsRecord SampleFtp() {
  FtpSettingsRecord ftp;
  SetScrambledText(ftp.Account, "bench-user");
  SetScrambledText(ftp.Password, std::string(45, 'x'));  // cut to 38 at total 40
  ftp.Passive = 1;
  return ftp;
}

TEST(StoredSettings, FilesHaveTheExactLayout) {
  TemporaryFolder folder;
  SaveMailSettings(folder.path(), SampleMail());
  SaveFtpSettings(folder.path(), SampleFtp());
  const std::string mail = ReadBytes(folder / "setting2.bin");
  const std::string ftp = ReadBytes(folder / "setting3.bin");
  ASSERT_EQ(mail.size(), 213u);
  ASSERT_EQ(ftp.size(), 97u);

  struct Field {
    const std::string* file;
    size_t offset;
    int capacity;
  };
  const std::vector<Field> fields = {{&mail, 0, 52},   {&mail, 53, 9}, {&mail, 63, 52}, {&mail, 116, 42},
                                     {&mail, 159, 52}, {&ftp, 0, 52},  {&ftp, 53, 42}};
  for (const Field& f : fields) {
    SCOPED_TRACE(f.offset);
    EXPECT_EQ(static_cast<uint8_t>((*f.file)[f.offset]), f.capacity) << "length byte equals the capacity";
    EXPECT_LE(static_cast<uint8_t>((*f.file)[f.offset + 1]), f.capacity - 2) << "text length within total";
  }
  EXPECT_EQ(CodecDecode(mail.substr(1, 52)), "smtp.example.org");
  EXPECT_EQ(CodecDecode(mail.substr(54, 9)), "587");
  EXPECT_EQ(CodecDecode(ftp.substr(1, 52)), "bench-user");
  EXPECT_EQ(mail[212], 1);
  EXPECT_EQ(ftp[96], 1);
}

TEST(StoredSettings, WrittenFilesReadBackFieldForField) {
  TemporaryFolder folder;
  const MailSettingsRecord savedMail = SampleMail();
  const FtpSettingsRecord savedFtp = SampleFtp();
  SaveMailSettings(folder.path(), savedMail);
  SaveFtpSettings(folder.path(), savedFtp);
  const MailSettingsRecord mail = LoadMailSettings(folder.path());
  const FtpSettingsRecord ftp = LoadFtpSettings(folder.path());

  EXPECT_EQ(std::memcmp(&mail, &savedMail, sizeof mail), 0);
  EXPECT_EQ(std::memcmp(&ftp, &savedFtp, sizeof ftp), 0);
  EXPECT_EQ(ScrambledText(mail.Host), "smtp.example.org");
  EXPECT_EQ(ScrambledText(mail.Port), "587");
  EXPECT_EQ(ScrambledText(mail.Login), std::string(49, 'L'));
  EXPECT_EQ(ScrambledText(mail.Password), "p\xC3\xA4ss=w\xE2\x82\xAC rd");
  EXPECT_EQ(ScrambledText(mail.TestAddress), "");
  EXPECT_EQ(mail.UseTLS, 1);
  EXPECT_EQ(ScrambledText(ftp.Account), "bench-user");
  EXPECT_EQ(ScrambledText(ftp.Password), std::string(38, 'x'));
  EXPECT_EQ(ftp.Passive, 1);
}

TEST(StoredSettings, FieldTextRules) {
  MailSettingsRecord mail;
  const std::vector<std::pair<std::string, std::string>> ports = {
      {"25", "25"}, {"123456", "123456"}, {"1234567", "12345"}, {"1234567890", "12345"}};
  for (const auto& [text, kept] : ports) {
    SetScrambledText(mail.Port, text);
    EXPECT_EQ(ScrambledText(mail.Port), kept) << text;
  }
  SetScrambledText(mail.Host, "\xE6\x97\xA5\xE6\x9C\xAC.example");  // outside Windows-1252
  EXPECT_EQ(ScrambledText(mail.Host), "??.example");
  mail.Host.Length = 200;  // damaged length byte: bounded by the field
  EXPECT_EQ(ScrambledText(mail.Host), "??.example");
  mail.Host.Length = 0;
  EXPECT_EQ(ScrambledText(mail.Host), "");
}

TEST(StoredSettings, ShortMissingAndLongFiles) {
  TemporaryFolder folder;
  SaveMailSettings(folder.path(), SampleMail());
  const std::string whole = ReadBytes(folder / "setting2.bin");

  WriteBytes(folder / "setting2.bin", whole.substr(0, 212));
  try {
    LoadMailSettings(folder.path());
    ADD_FAILURE() << "a file one byte short must fail";
  } catch (const base::FileError& error) {
    EXPECT_STREQ(error.what(), "Unexpected end of file: 212 of 213 bytes");
  }
  WriteBytes(folder / "setting3.bin", "");
  EXPECT_THROW(LoadFtpSettings(folder.path()), base::FileError);

  WriteBytes(folder / "setting2.bin", whole + "extra bytes");
  EXPECT_EQ(ScrambledText(LoadMailSettings(folder.path()).Host), "smtp.example.org");

  try {
    LoadFtpSettings(folder / "no-such-folder");
    ADD_FAILURE() << "a missing file must fail";
  } catch (const base::FileError& error) {
    EXPECT_STREQ(error.what(), std::strerror(ENOENT));
  }
  EXPECT_THROW(SaveFtpSettings(folder / "no-such-folder", SampleFtp()), base::FileError);
}

#ifndef _WIN32  // a file size limit exists only on POSIX
TEST(StoredSettings, FailedSaveLeavesTheOldFile) {
  TemporaryFolder folder;
  MailSettingsRecord older = SampleMail();
  SetScrambledText(older.Host, "old.example.org");
  SaveMailSettings(folder.path(), older);
  const std::string before = ReadBytes(folder / "setting2.bin");
  try {
    FileSizeLimit limit(100);
    SaveMailSettings(folder.path(), SampleMail());
    ADD_FAILURE() << "the save must fail";
  } catch (const base::FileError& error) {
    EXPECT_STREQ(error.what(), std::strerror(EFBIG));
  }
  EXPECT_EQ(ReadBytes(folder / "setting2.bin"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << "no temporary file left";
}
#endif

}  // namespace
}  // namespace quarn::config
