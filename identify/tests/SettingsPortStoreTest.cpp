#include "identify/SettingsPortStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quarn::identify {
namespace {

// Points the per-user store at a fresh folder; QSettings reads XDG_CONFIG_HOME on each construction.
class IsolatedHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarn-home-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    home_ = tmpl;
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  void WriteConf(const std::string& text) {
    std::filesystem::create_directories(home_ + "/.config/ZOV");
    std::ofstream(home_ + "/.config/ZOV/WENLO.conf") << text;
  }
  std::string home_;
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
}  // namespace quarn::identify
