#include "analysis/MarkerFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Files.h"

namespace quarn::analysis {
namespace {

class MarkerFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("quarn-marks-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(MarkerFileTest, SidecarNameIsTheDataFileNamePlusMarksTsv) {
  EXPECT_EQ(MarkerFilePath("/x/102345(QRN-2.14) 5-9-2013 14%3.txt"), "/x/102345(QRN-2.14) 5-9-2013 14%3.txt.marks.tsv");
}

TEST_F(MarkerFileTest, AppendedLinesAreOnDiskAtOnceAndReadBack) {
  const std::string path = MarkerFilePath((folder_ / "run.txt").string());
  std::string reason;
  ASSERT_TRUE(AppendMarker(path, "2013-09-05 14:03:07", "gas on 800 ppm", reason)) << reason;
  EXPECT_EQ(base::ReadWholeFile(path), "2013-09-05 14:03:07\tgas on 800 ppm\r\n");
  ASSERT_TRUE(AppendMarker(path, "2013-09-05 14:05:00", "gas off\tnow\r\n", reason)) << reason;
  ASSERT_TRUE(AppendMarker(path, "2013-09-05 14:06:00", "Nullgas \xc2\xb5", reason)) << reason;
  EXPECT_EQ(base::ReadWholeFile(path),
            "2013-09-05 14:03:07\tgas on 800 ppm\r\n2013-09-05 14:05:00\tgas off now  \r\n"
            "2013-09-05 14:06:00\tNullgas \xb5\r\n")
      << "one line per marker, in the data file's code page";

  const MarkerFileContents contents = ReadMarkerFile(path);
  ASSERT_EQ(contents.entries.size(), 3u);
  EXPECT_TRUE(contents.badLines.empty());
  EXPECT_EQ(contents.entries[0].timeText, "2013-09-05 14:03:07");
  EXPECT_EQ(contents.entries[0].label, "gas on 800 ppm");
  EXPECT_EQ(contents.entries[2].label, "Nullgas \xc2\xb5");
  EXPECT_EQ(contents.entries[2].line, 3u);
}

TEST_F(MarkerFileTest, AppendFailureSaysWhy) {
  std::string reason;
  EXPECT_FALSE(AppendMarker((folder_ / "missing" / "run.txt.marks.tsv").string(), "t", "l", reason));
  EXPECT_FALSE(reason.empty());
}

struct ParseCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> labels;
  std::vector<std::string> bad;
};

TEST(MarkerParseTest, TruncatedLastLinesAndBadLines) {
  const std::vector<ParseCase> cases = {
      {"empty", "", {}, {}},
      {"last line cut in its label", "t1\ta\r\nt2\tgas o", {"a", "gas o"}, {}},
      {"last line cut before its TAB", "t1\ta\r\n5.9.2013 14:0", {"a"}, {}},
      {"last line cut after its CR", "t1\ta\r", {"a"}, {}},
      {"LF line ends", "t1\ta\nt2\tb\n", {"a", "b"}, {}},
      {"empty lines skipped", "\r\nt1\ta\r\n\r\n", {"a"}, {}},
      {"empty label", "t1\t\r\n", {""}, {}},
      {"bad lines reported",
       "t1\ta\r\nno tab here\r\n\tlabel only\r\nt4\td\r\n",
       {"a", "d"},
       {"line 2: no TAB between time and label", "line 3: no time before the TAB"}},
  };
  for (const ParseCase& c : cases) {
    const MarkerFileContents contents = ParseMarkers(c.bytes);
    std::vector<std::string> labels;
    for (const MarkerEntry& entry : contents.entries) labels.push_back(entry.label);
    EXPECT_EQ(labels, c.labels) << c.name;
    EXPECT_EQ(contents.badLines, c.bad) << c.name;
  }
}

TEST_F(MarkerFileTest, MissingSidecarIsNoMarkersAndAnUnreadableOneThrows) {
  EXPECT_TRUE(ReadMarkerFile((folder_ / "none.txt.marks.tsv").string()).entries.empty());
  std::filesystem::create_directory(folder_ / "dir.txt.marks.tsv");
  EXPECT_THROW(ReadMarkerFile((folder_ / "dir.txt.marks.tsv").string()), base::FileError);
}

}  // namespace
}  // namespace quarn::analysis
