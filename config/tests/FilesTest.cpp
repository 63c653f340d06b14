#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/Files.h"
#include "config/StoredSettings.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

using testing::FileSizeLimit;
using testing::ReadBytes;
using testing::TemporaryFolder;
using testing::WriteBytes;

struct stat StatOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

// The files of a folder, by name.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A known umask for the tests that look at modes; the old one comes back at the end.
class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { savedMask_ = ::umask(022); }
  void TearDown() override {
    ::umask(savedMask_);
    base::SimulateFolderRefusingNewFiles(false);
  }

  TemporaryFolder folder_;
  mode_t savedMask_ = 0;
};

TEST_F(FileAccessTest, NewSettingsFilesAreForTheOwnerOnlyOtherNewFilesFollowTheUmask) {
  SaveMailSettings(folder_.path(), MailSettingsRecord{});
  SaveFtpSettings(folder_.path(), FtpSettingsRecord{});
  base::ReplaceFile(folder_ / "criteria.ini", "mode=1\r\n");
  EXPECT_EQ(StatOf(folder_ / kMailSettingsFileName).st_mode & 07777, 0600u);
  EXPECT_EQ(StatOf(folder_ / kFtpSettingsFileName).st_mode & 07777, 0600u);
  EXPECT_EQ(StatOf(folder_ / "criteria.ini").st_mode & 07777, 0644u);
}

TEST_F(FileAccessTest, ReplacedFileKeepsItsModeAndOwner) {
  const auto file = folder_ / kMailSettingsFileName;
  WriteBytes(file, "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  // Tests run as root, who may give the file to somebody else.
  const bool chowned = ::chown(file.c_str(), 4321, 4322) == 0;
  SaveMailSettings(folder_.path(), MailSettingsRecord{});
  const struct stat after = StatOf(file);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  if (chowned) {
    EXPECT_EQ(after.st_uid, 4321u);
    EXPECT_EQ(after.st_gid, 4322u);
  }
  EXPECT_EQ(ReadBytes(file).size(), sizeof(MailSettingsRecord));
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{kMailSettingsFileName});
}

TEST_F(FileAccessTest, SymbolicLinkIsFollowedAndItsTargetReplaced) {
  TemporaryFolder elsewhere;
  WriteBytes(elsewhere / "real.ini", "old");
  ASSERT_EQ(::chmod((elsewhere / "real.ini").c_str(), 0604), 0);
  // A relative link, resolved from the link's own folder.
  std::filesystem::create_symlink(std::filesystem::relative(elsewhere / "real.ini", folder_.path()),
                                  folder_ / "criteria.ini");
  base::ReplaceFile(folder_ / "criteria.ini", "new bytes");
  EXPECT_TRUE(std::filesystem::is_symlink(folder_ / "criteria.ini"));
  EXPECT_EQ(ReadBytes(elsewhere / "real.ini"), "new bytes");
  EXPECT_EQ(StatOf(elsewhere / "real.ini").st_mode & 07777, 0604u);
  EXPECT_EQ(Names(elsewhere.path()), std::vector<std::string>{"real.ini"});
}

TEST_F(FileAccessTest, FolderWithoutNewFilesRewritesAWritableFileInPlace) {
  const auto file = folder_ / "criteria.ini";
  WriteBytes(file, "a much longer old content than the new one");
  const ino_t inode = StatOf(file).st_ino;
  base::SimulateFolderRefusingNewFiles(true);
  base::ReplaceFile(file, "short");
  EXPECT_EQ(ReadBytes(file), "short");
  EXPECT_EQ(StatOf(file).st_ino, inode);
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"criteria.ini"});

  // With no file to write into, the save fails and nothing appears.
  try {
    SaveMailSettings(folder_.path(), MailSettingsRecord{});
    ADD_FAILURE() << "the save must fail";
  } catch (const base::FileError& error) {
    EXPECT_STREQ(error.what(), std::strerror(EACCES));
  }
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"criteria.ini"});
}

// A write that fails halfway leaves the old bytes, whether it went through a new file or in place.
TEST_F(FileAccessTest, FailedWriteLeavesTheOldBytes) {
  for (const bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "in place" : "beside");
    const auto file = folder_ / "criteria.ini";
    WriteBytes(file, "old bytes");
    base::SimulateFolderRefusingNewFiles(inPlace);
    try {
      FileSizeLimit limit(64);
      base::ReplaceFile(file, std::string(1000, 'x'));
      ADD_FAILURE() << "the save must fail";
    } catch (const base::FileError& error) {
      EXPECT_STREQ(error.what(), std::strerror(EFBIG));
    }
    EXPECT_EQ(ReadBytes(file), "old bytes");
    EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"criteria.ini"});
  }
}

}  // namespace
}  // namespace quarn::config
