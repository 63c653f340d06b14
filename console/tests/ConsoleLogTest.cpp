#include "console/ConsoleLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/ConsoleFiles.h"

namespace quarn::console {
namespace {

using Lines = std::vector<std::string>;

struct ChunkCase {
  const char* name;
  std::string bytes;
  DisplayMode mode;
  Lines lines;
};
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class ChunkLinesTest : public testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkLinesTest, ShowsTheBytesInTheMode) {
  EXPECT_EQ(ChunkLines(GetParam().bytes, GetParam().mode), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    ChunkModes, ChunkLinesTest,
    testing::Values(ChunkCase{"Ascii", "OK\r", DisplayMode::Ascii, {"<< OK\r", ""}},
                    ChunkCase{"Hex", "OK\r", DisplayMode::Hex, {"<< 4F 4B 0D ", ""}},
                    ChunkCase{"AsciiHexTextFirst", "OK\r", DisplayMode::AsciiHex, {"<< OK\r", "<< 4F 4B 0D ", ""}},
                    ChunkCase{"AsciiIsWindows1252",
                              std::string("\x80\xE4\x00\xFF", 4),
                              DisplayMode::Ascii,
                              {std::string("<< \xE2\x82\xAC\xC3\xA4\x00\xC3\xBF", 11), ""}},
                    ChunkCase{"HexIsUppercaseAndWhole",
                              std::string("\x00\x0A\xAB\xFF", 4),
                              DisplayMode::Hex,
                              {"<< 00 0A AB FF ", ""}}),
    [](const testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });

TEST(ConsoleLog, VisibleLineShowsControlsAsPictures) {
  EXPECT_EQ(VisibleLine("<< OK\r"), "<< OK\xE2\x90\x8D");
  EXPECT_EQ(VisibleLine(std::string("a\tb\n\x00", 5)), "a\tb\xE2\x90\x8A\xE2\x90\x80");
  EXPECT_EQ(VisibleLine("> #00SREV? \xC3\xA4"), "> #00SREV? \xC3\xA4");
}

TEST(ConsoleLog, SavedLogHasHeaderThenEveryLineInWindows1252) {
  const Lines saved =
      SavedLogLines({"7", "555123", "Typ \xC3\xA4"},
                    {"Sending:", "> #00SREV?", VisibleLine("<< 2.1\r\n"), "", "\xE2\x82\xAC \xE2\x90\x8D"});
  EXPECT_EQ(saved, (Lines{"Port: COM7\r\n", "SN: 555123\r\n", "Type: Typ \xE4\r\n", "================\r\n",
                          "Sending:\r\n", "> #00SREV?\r\n", "<< 2.1\r\n\r\n", "\r\n", "\x80 \r\r\n"}));
}

class ConsoleFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quarn-console-" + std::to_string(::getpid()) + "-" +
                                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

TEST_F(ConsoleFilesTest, WritesAndOverwritesLines) {
  const std::string file = Path("CommandsLog.txt");
  WriteLines(file, {"a much longer first text\r\n", "b\r\n"});
  WriteLines(file, {"x\r\n", "y\r\n"});
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "x\r\ny\r\n");
}

TEST_F(ConsoleFilesTest, FailuresNameTheFileAndTheSystemReason) {
  const std::string missing = Path("no-such-folder/CommandsLog.txt");
  try {
    WriteLines(missing, {"x\r\n"});
    ADD_FAILURE() << "no error";
  } catch (const base::FileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + missing + "\". No such file or directory");
  }

  // A folder where the list file should be exists but cannot be read as a file.
  std::filesystem::create_directory(Path("commands.ini"));
  EXPECT_TRUE(base::ExistsOrUnreadable(Path("commands.ini")));
  EXPECT_FALSE(base::ExistsOrUnreadable(Path("other.ini")));
  try {
    ReadCommandFile(Path("commands.ini"));
    ADD_FAILURE() << "no error";
  } catch (const base::FileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot read file \"" + Path("commands.ini") + "\". Is a directory");
  }
}

}  // namespace
}  // namespace quarn::console
