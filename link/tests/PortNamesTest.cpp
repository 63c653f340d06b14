#include "base/CodePage.h"
#include "link/PortNames.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quarn::link {
namespace {

TEST(PortNames, WindowsDeviceNamespaceFromCom10) {
  EXPECT_EQ(WindowsDeviceName("COM1"), "COM1");
  EXPECT_EQ(WindowsDeviceName("COM9"), "COM9");
  EXPECT_EQ(WindowsDeviceName("COM10"), "\\\\.\\COM10");
  EXPECT_EQ(WindowsDeviceName("COM255"), "\\\\.\\COM255");
}

#ifdef _WIN32
TEST(PortNames, WindowsOpensTheDeviceNameItself) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"COM1", "COM1"}, {"COM9", "COM9"}, {"COM10", "\\\\.\\COM10"}, {"COM0", ""}, {"LPT1", ""}, {"COM1x", ""}};
  for (const auto& [name, path] : cases) EXPECT_EQ(DevicePathForPort(name), path) << name;
}
#else
TEST(PortNames, LinuxDevices) {
  unsetenv("QUARN_PORT_DIR");
  const std::vector<std::pair<std::string, std::string>> cases = {{"COM1", "/dev/ttyUSB0"},
                                                                  {"COM32", "/dev/ttyUSB31"},
                                                                  {"COM33", "/dev/ttyACM0"},
                                                                  {"COM64", "/dev/ttyACM31"},
                                                                  {"COM65", "/dev/ttyS0"},
                                                                  {"COM96", "/dev/ttyS31"},
                                                                  {"COM97", ""},
                                                                  {"COM0", ""},
                                                                  {"COM", ""},
                                                                  {"COM07", ""},
                                                                  {"LPT1", ""},
                                                                  {"COM1x", ""}};
  for (const auto& [name, path] : cases) EXPECT_EQ(DevicePathForPort(name), path) << name;
}

TEST(PortNames, PortFolderReplacesTheDeviceRanges) {
  setenv("QUARN_PORT_DIR", "/tmp/ports", 1);
  EXPECT_EQ(DevicePathForPort("COM7"), "/tmp/ports/COM7");
  EXPECT_EQ(DevicePathForPort("COM200"), "/tmp/ports/COM200");
  EXPECT_EQ(DevicePathForPort("COMX"), "");
  unsetenv("QUARN_PORT_DIR");
}
#endif

// On Windows the code page is the system's ANSI code page, Windows-1252 for a Western European system.
TEST(CodePage, Windows1252RoundTrip) {
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "the system's ANSI code page is " << GetACP() << ", not Windows-1252";
#endif
  EXPECT_EQ(base::Utf8ToCp1252("a\xE2\x82\xAC\xC3\xA9"), "a\x80\xE9");  // a € é
  EXPECT_EQ(base::Utf8ToCp1252("\xE2\x80\x8B\xD0\x96"), "??");          // zero-width space, Cyrillic
  EXPECT_EQ(base::Utf8ToCp1252("\xC3"), "?");                           // cut sequence
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(base::Utf8ToCp1252(base::Cp1252ToUtf8(all)), all);
  EXPECT_EQ(base::Latin1ToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace quarn::link
