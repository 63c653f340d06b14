#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "base/Files.h"
#include "base/SystemError.h"
#include "config/StoredSettings.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

using base::FileError;
using base::FileExists;
using base::ReadWholeFile;
using base::ReplaceFile;

using testing::ReadBytes;
using testing::TemporaryFolder;
using testing::WriteBytes;

size_t FileCount(const std::filesystem::path& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(FilesWin32, ReplaceCreatesThenReplacesAndLeavesNoTemporaryFile) {
  TemporaryFolder folder;
  const auto file = folder / "criteria.ini";
  ReplaceFile(file, "first");
  EXPECT_EQ(ReadBytes(file), "first");
  ReplaceFile(file, "second, longer");
  EXPECT_EQ(ReadBytes(file), "second, longer");
  ReplaceFile(file, "");
  EXPECT_EQ(ReadBytes(file), "");
  EXPECT_EQ(FileCount(folder.path()), 1u);
}

// A target that cannot be replaced (a folder of that name) keeps what it holds; no temporary file stays.
TEST(FilesWin32, FailedReplaceKeepsTheTargetAndCarriesTheSystemText) {
  TemporaryFolder folder;
  std::filesystem::create_directory(folder / "setting2.bin");
  WriteBytes(folder / "setting2.bin" / "inside", "kept");
  try {
    SaveMailSettings(folder.path(), MailSettingsRecord{});
    ADD_FAILURE() << "the save must fail";
  } catch (const FileError& error) {
    EXPECT_EQ(error.what(), base::SystemErrorText(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(ReadBytes(folder / "setting2.bin" / "inside"), "kept");
  EXPECT_EQ(FileCount(folder.path()), 1u);

  try {
    ReplaceFile(folder / "no-such-folder" / "criteria.ini", "x");
    ADD_FAILURE() << "the save must fail";
  } catch (const FileError& error) {
    EXPECT_EQ(error.what(), base::SystemErrorText(ERROR_PATH_NOT_FOUND));
  }
}

TEST(FilesWin32, WidePathsOutsideTheCodePage) {
  TemporaryFolder folder;
  const std::filesystem::path inner = folder.path() / std::filesystem::path(u8"\u0414\u6570");
  std::filesystem::create_directory(inner);
  SaveFtpSettings(inner, FtpSettingsRecord{});
  EXPECT_EQ(ReadWholeFile(inner / kFtpSettingsFileName).size(), sizeof(FtpSettingsRecord));
  EXPECT_TRUE(FileExists(inner / kFtpSettingsFileName));
  EXPECT_FALSE(FileExists(inner / "criteria.ini"));
}

}  // namespace
}  // namespace quarn::config
