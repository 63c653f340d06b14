#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Folders.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

namespace fs = std::filesystem;
using base::OwnFilesFolder;
using testing::ReadBytes;
using testing::WriteBytes;

// A program folder (portable: the files beside the program) or an installation (<prefix>/bin with the
// defaults in <prefix>/share/quarn-eval), and a per-user folder that does not exist yet.
class OwnFilesFolderTest : public ::testing::Test {
 protected:
  fs::path Bin() const { return root_ / "prefix" / "bin"; }
  fs::path Shared() const { return root_ / "prefix" / "share" / "quarn-eval"; }
  fs::path User() const { return root_ / "home" / ".local" / "share" / "quarn-eval"; }

  void Install(const std::string& criteria, const std::string& commands) {
    fs::create_directories(Bin());
    fs::create_directories(Shared());
    WriteBytes(Shared() / "criteria.ini", criteria);
    WriteBytes(Shared() / "commands.ini", commands);
  }
  fs::path Start() const { return OwnFilesFolder(Bin(), User()); }

  testing::TemporaryFolder root_;
};

TEST_F(OwnFilesFolderTest, WritableProgramFolderWithItsCriteriaKeepsEverything) {
  fs::create_directories(Bin());
  WriteBytes(Bin() / "criteria.ini", "kzero2=5\r\n");
  EXPECT_EQ(Start(), Bin());
  EXPECT_FALSE(fs::exists(User()));
  // The probe leaves nothing behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(Bin()), fs::directory_iterator()), 1);
}

TEST_F(OwnFilesFolderTest, ReadOnlyProgramFolderSeedsTheUserFolderFromItself) {
  fs::create_directories(Bin());
  WriteBytes(Bin() / "criteria.ini", "kzero2=5\r\n");
  WriteBytes(Bin() / "commands.ini", "#00F\r\n");
  WriteBytes(Bin() / "setting2.bin", std::string(213, 'm'));
  fs::permissions(Bin() / "criteria.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto readOnlyProgram = [&](const fs::path& folder) { return folder != Bin(); };

  EXPECT_EQ(OwnFilesFolder(Bin(), User(), readOnlyProgram), User());
  EXPECT_EQ(ReadBytes(User() / "criteria.ini"), "kzero2=5\r\n");
  EXPECT_EQ(ReadBytes(User() / "commands.ini"), "#00F\r\n");
  EXPECT_EQ(ReadBytes(User() / "setting2.bin"), std::string(213, 'm'));
  EXPECT_FALSE(fs::exists(User() / "setting3.bin"));
  // The program writes the interval back into its copy at close.
  EXPECT_NE(fs::status(User() / "criteria.ini").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(OwnFilesFolderTest, InstallationSeedsTheUserFolderOnceAndAnUpgradeKeepsTheUsersFiles) {
  Install("kzero2=5\r\nmailsupport=a@example.com\r\n", "#00F\r\n");
  ASSERT_EQ(Start(), User());
  EXPECT_EQ(ReadBytes(User() / "criteria.ini"), "kzero2=5\r\nmailsupport=a@example.com\r\n");
  EXPECT_EQ(ReadBytes(User() / "commands.ini"), "#00F\r\n");

  // The user's own changes, then an upgrade with other defaults.
  WriteBytes(User() / "criteria.ini", "kzero2=5\r\ndelay=7\r\nmode=1\r\n");
  WriteBytes(User() / "setting3.bin", std::string(97, 'f'));
  fs::remove(User() / "commands.ini");
  Install("kzero2=6\r\n", "#00F\r\n#00Z\r\n");

  ASSERT_EQ(Start(), User());
  EXPECT_EQ(ReadBytes(User() / "criteria.ini"), "kzero2=5\r\ndelay=7\r\nmode=1\r\n");
  EXPECT_EQ(ReadBytes(User() / "setting3.bin"), std::string(97, 'f'));
  // Only a file the user lacks comes from the new defaults.
  EXPECT_EQ(ReadBytes(User() / "commands.ini"), "#00F\r\n#00Z\r\n");
  EXPECT_EQ(ReadBytes(Shared() / "criteria.ini"), "kzero2=6\r\n");
}

TEST_F(OwnFilesFolderTest, WhereNoUserFolderCanBeMadeTheDefaultsAreReadWhereTheyLie) {
  Install("kzero2=5\r\n", "#00F\r\n");
  fs::create_directories(User().parent_path());
  WriteBytes(User(), "a file in the folder's place");
  EXPECT_EQ(Start(), Shared());
  EXPECT_EQ(OwnFilesFolder(Bin(), fs::path()), Shared());
}

TEST_F(OwnFilesFolderTest, WithoutDefaultsAnywhereTheProgramFolderStaysSoTheMissingFileIsReported) {
  fs::create_directories(Bin());
  EXPECT_EQ(Start(), Bin());
  EXPECT_FALSE(fs::exists(User()));
}

TEST(FolderTakesNewFiles, TellsAFolderThatTakesAFileFromOneThatIsNotThere) {
  testing::TemporaryFolder folder;
  EXPECT_TRUE(base::FolderTakesNewFiles(folder.path()));
  EXPECT_TRUE(fs::is_empty(folder.path()));
  EXPECT_FALSE(base::FolderTakesNewFiles(folder / "missing"));
}

TEST(SharedDataFolder, LiesBesideTheProgramsFolder) {
  EXPECT_EQ(base::SharedDataFolder("/usr/bin"), fs::path("/usr/share/quarn-eval"));
  EXPECT_EQ(base::SharedDataFolder("/opt/q/bin/"), fs::path("/opt/q/share/quarn-eval"));
}

}  // namespace
}  // namespace quarn::config
