#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ui/SettingsPortStore.h"

namespace quarn::ui {
using identify::PortStore;
namespace {

// QSettings learns the per-user folder from XDG_CONFIG_HOME once per process, so the whole test program
// shares one home, made before the first QSettings and removed at exit; each test empties its store.
class TemporaryHome {
 public:
  TemporaryHome() {
    char pattern[] = "/tmp/quarn-home-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    path_ = pattern;
    setenv("HOME", path_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path_ + "/.config").c_str(), 1);
  }
  ~TemporaryHome() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class IsolatedHome : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Home(); }
  void SetUp() override { std::filesystem::remove_all(home_ + "/.config/ZOV"); }
  void TearDown() override { std::filesystem::remove_all(home_ + "/.config/ZOV"); }
  void WriteConf(const std::string& text) {
    std::filesystem::create_directories(home_ + "/.config/ZOV");
    std::ofstream(home_ + "/.config/ZOV/WENLO.conf") << text;
  }
  static const TemporaryHome& Home() {
    static const TemporaryHome home;
    return home;
  }
  const std::string home_ = Home().Path();
};

TEST_F(IsolatedHome, ReadsWritesAndRejects) {
  SettingsPortStore store;
  EXPECT_EQ(store.Read().status, PortStore::Status::Missing);

  store.Write(12);
  const PortStore::Entry entry = store.Read();
  EXPECT_EQ(entry.status, PortStore::Status::Found);
  EXPECT_EQ(entry.port, 12);
  std::ifstream conf(home_ + "/.config/ZOV/WENLO.conf");
  std::string text((std::istreambuf_iterator<char>(conf)), {});
  EXPECT_NE(text.find("Port=12"), std::string::npos) << text;

  WriteConf("[General]\nPort=seven\n");
  EXPECT_EQ(SettingsPortStore().Read().status, PortStore::Status::Failed);
  WriteConf("[General]\nport=7\n");
  EXPECT_EQ(SettingsPortStore().Read().status, PortStore::Status::Missing) << "keys are case-sensitive";
}

}  // namespace
}  // namespace quarn::ui
