#include "datafile/FollowedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "acquisition/DataFile.h"
#include "datafile/FollowedFolder.h"

namespace quarn::datafile {
namespace {

using namespace std::chrono_literals;

// A data line at 06:mm:ss of 11 December 2026 (ISO dates, as the recorder writes them under LC_ALL=C).
std::string Line(int second, int value) {
  char text[128];
  std::snprintf(text, sizeof text,
                "2026-12-11 06:%02d:%02d\t%05d\t00100\t00200\t00300\t00000\t00000\t00000\t00000\t%05d\t00000\r\n",
                second / 60, second % 60, value, value);
  return text;
}

class FollowedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("followed-" + std::to_string(::getpid()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "102345(QRN-2.14) 11-12-2026 6%00.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Append(const std::string& bytes, const std::string& path = {}) {
    std::ofstream out(path.empty() ? path_ : path, std::ios::binary | std::ios::app);
    out << bytes;
  }
  // The records of the whole file read at once.
  std::vector<acquisition::MeasurementRecord> WholeRead() const {
    std::vector<acquisition::MeasurementRecord> records;
    ReadDataFile(path_, ReadOptions{}, [&](std::span<const acquisition::MeasurementRecord> read) {
      records.insert(records.end(), read.begin(), read.end());
    });
    return records;
  }
  static std::vector<acquisition::MeasurementRecord> Records(const FollowedFile& file) {
    return file.Store().ReadFrom(0);
  }

  std::filesystem::path dir_;
  std::string path_;
  FollowedFile::Clock::time_point now_ = FollowedFile::Clock::now();
};

TEST(WholeLinesToTake, TakesWholeLinesLessTheLastSecondAndAnOpenHeader) {
  const std::string header = acquisition::HeaderBlock("COM7", "102345", "QRN-2.14");
  const std::string rule = header.substr(0, header.find('\n') + 1);
  struct Case {
    const char* name;
    std::string bytes;
    bool hold;
    size_t take;
  };
  const std::string two = Line(0, 1) + Line(1, 2);
  const Case cases[] = {
      {"a half line waits", two + "2026-12-11 06:00:0", false, two.size()},
      {"no line end yet", "2026-12-11 06:00:0", true, 0},
      {"all when not held", two + Line(1, 3), false, two.size() + Line(1, 3).size()},
      {"the last second waits", two + Line(1, 3), true, Line(0, 1).size()},
      {"a header block being written waits", two + rule + "Port: COM7\r\n", true, two.size()},
      {"a whole header block is taken", two + Line(2, 3) + header, true,
       two.size() + Line(2, 3).size() + header.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WholeLinesToTake(c.bytes, c.hold), c.take);
  }
}

TEST_F(FollowedFileTest, PiecesReadAsTheWholeFileWouldBe) {
  Append(acquisition::HeaderBlock("COM7", "102345", "QRN-2.14"));
  FollowedFile file(path_, ReadOptions{});
  size_t appended = 0;
  // Two records a second, written a line and a half at a time, polled in between.
  std::string pending;
  for (int i = 0; i < 40; ++i) pending += Line(i / 2, i);
  for (size_t at = 0; at < pending.size();) {
    const size_t piece = std::min<size_t>(97, pending.size() - at);
    Append(pending.substr(at, piece));
    at += piece;
    appended += file.Poll(now_).records;
    EXPECT_LE(file.Offset(), std::filesystem::file_size(path_));
  }
  // The file stops growing: what waited for its second comes.
  appended += file.Poll(now_ + 1s).records;
  EXPECT_EQ(appended, 40u);
  EXPECT_EQ(file.Offset(), std::filesystem::file_size(path_));
  EXPECT_EQ(Records(file), WholeRead());
  EXPECT_EQ(file.SerialNumber(), "102345");
  ASSERT_EQ(file.Runs().size(), 1u);
  EXPECT_EQ(file.Runs()[0].recordCount, 40u);
}

TEST_F(FollowedFileTest, ATruncatedOrReplacedFileIsReadAgainFromItsStart) {
  Append(acquisition::HeaderBlock("COM7", "102345", "QRN-2.14") + Line(0, 1) + Line(1, 2) + Line(2, 3));
  FollowedFile file(path_, ReadOptions{});
  file.Poll(now_, true);
  ASSERT_EQ(file.Store().Count(), 3u);

  // Truncated and written anew, shorter.
  std::filesystem::resize_file(path_, 0);
  Append(acquisition::HeaderBlock("COM7", "102345", "QRN-2.14") + Line(10, 7));
  FollowedFile::Growth growth = file.Poll(now_ + 1s, true);
  EXPECT_TRUE(growth.restarted);
  EXPECT_NE(growth.note.find("read again from its start"), std::string::npos) << growth.note;
  EXPECT_EQ(Records(file), WholeRead());

  // Replaced by another file of the same name, longer than what was read.
  const std::string other = (dir_ / "other.txt").string();
  std::string longer = acquisition::HeaderBlock("COM8", "200001", "QRN-2.14");
  for (int i = 0; i < 10; ++i) longer += Line(20 + i, 100 + i);
  Append(longer, other);
  std::filesystem::rename(other, path_);
  growth = file.Poll(now_ + 2s, true);
  EXPECT_TRUE(growth.restarted);
  EXPECT_NE(growth.note.find("replaced"), std::string::npos) << growth.note;
  EXPECT_EQ(Records(file), WholeRead());
  EXPECT_EQ(file.SerialNumber(), "200001");
  EXPECT_EQ(file.Runs().size(), 1u);
}

TEST_F(FollowedFileTest, IdleAfterFiveMinutesWithoutGrowth) {
  Append(acquisition::HeaderBlock("COM7", "102345", "QRN-2.14") + Line(0, 1));
  FollowedFile file(path_, ReadOptions{});
  file.Poll(now_);
  file.Poll(now_ + 4min);
  EXPECT_FALSE(file.Idle(now_ + 4min + 59s));
  EXPECT_TRUE(file.Idle(now_ + 5min));
  Append(Line(1, 2));
  file.Poll(now_ + 6min);
  EXPECT_FALSE(file.Idle(now_ + 6min));
}

TEST_F(FollowedFileTest, AFolderFollowsTheDataFilesWrittenInTheLastMinute) {
  const auto now = std::filesystem::file_time_type::clock::now();
  Append(acquisition::HeaderBlock("COM7", "102345", "QRN-2.14") + Line(0, 1));
  const std::string old = (dir_ / "old.txt").string();
  Append(acquisition::HeaderBlock("COM8", "200002", "QRN-2.14") + Line(0, 1), old);
  std::filesystem::last_write_time(old, now - 2min);
  Append("06:00:00\tN2\r\n", path_ + ".marks.tsv");
  FollowedFolder folder(dir_.string(), ReadOptions{});
  EXPECT_EQ(folder.Look(now), std::vector<size_t>{0});
  ASSERT_EQ(folder.Files().size(), 1u);
  EXPECT_EQ(folder.Files()[0]->Path(), path_);
  EXPECT_TRUE(folder.Look(now).empty()) << "a file is followed once";
  // A recorder that starts later joins.
  const std::string later = (dir_ / "later.txt").string();
  Append(acquisition::HeaderBlock("COM9", "200003", "QRN-2.14"), later);
  EXPECT_EQ(folder.Look(), std::vector<size_t>{1});
  EXPECT_EQ(folder.Files()[1]->Path(), later);
}

}  // namespace
}  // namespace quarn::datafile
