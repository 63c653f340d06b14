#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "base/Folders.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

using base::DocumentsFolder;
using base::ProgramFolder;

TEST(Folders, ProgramFolderHoldsThisProgram) {
  const std::filesystem::path folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.is_absolute()) << folder;
#ifdef _WIN32
  EXPECT_TRUE(std::filesystem::exists(folder / "config_tests.exe")) << folder;
#else
  EXPECT_TRUE(std::filesystem::exists(folder / "config_tests")) << folder;
#endif
}

#ifdef _WIN32
TEST(Folders, DocumentsFolderIsTheShellsAbsoluteFolder) {
  const std::filesystem::path folder = DocumentsFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.is_absolute()) << folder;
}
#else
// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Folders, DocumentsFolderFollowsTheUserDirsFileElseHomeDocuments) {
  testing::TemporaryFolder home;
  ScopedEnv homeEnv("HOME", home.path().string());
  ScopedEnv configEnv("XDG_CONFIG_HOME", (home / "cfg").string());
  EXPECT_EQ(DocumentsFolder(), home / "Documents");

  std::filesystem::create_directory(home / "cfg");
  std::ofstream(home / "cfg" / "user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                 << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                 << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  EXPECT_EQ(DocumentsFolder(), home / "Dokumente");

  std::ofstream(home / "cfg" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
  EXPECT_EQ(DocumentsFolder(), std::filesystem::path("/srv/docs"));
}

TEST(Folders, UserDataFolderFollowsAnAbsoluteXdgDataHomeElseHomeLocalShare) {
  testing::TemporaryFolder home;
  ScopedEnv homeEnv("HOME", home.path().string());
  struct Case {
    const char* dataHome;
    std::filesystem::path expected;
  } const cases[] = {
      {"/srv/data", "/srv/data/quarn-eval"},
      {"relative/data", home / ".local/share/quarn-eval"},
      {"", home / ".local/share/quarn-eval"},
  };
  for (const Case& c : cases) {
    ScopedEnv dataEnv("XDG_DATA_HOME", c.dataHome);
    EXPECT_EQ(base::UserDataFolder(), c.expected) << c.dataHome;
  }
}
#endif

}  // namespace
}  // namespace quarn::config
