#include "analysis/MarkerList.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/MarkerFile.h"
#include "base/Files.h"

namespace quarn::analysis {
namespace {

class MarkerListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("quarn-marklist-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    path_ = MarkerFilePath((folder_ / "run.txt").string());
    list_.Reset(path_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string File() const { return base::ReadWholeFile(path_); }
  static Marker At(double time, const char* text, const char* label) { return {time, label, text}; }

  std::filesystem::path folder_;
  std::string path_;
  MarkerList list_;
};

TEST_F(MarkerListTest, EachChangeRewritesTheFileAndUndoGoesBackOneChangeAtATime) {
  EXPECT_FALSE(list_.CanUndo());
  EXPECT_FALSE(list_.Add(At(2, "t2", "gas on 800 ppm")));
  EXPECT_FALSE(list_.Add(At(3, "t3", "gas off")));
  EXPECT_EQ(File(), "t2\tgas on 800 ppm\r\nt3\tgas off\r\n");

  EXPECT_FALSE(list_.Rename(1, "zero air"));
  EXPECT_EQ(File(), "t2\tgas on 800 ppm\r\nt3\tzero air\r\n");
  // Moved before the first: the list and the file stay in time order.
  EXPECT_FALSE(list_.Move(1, 1, "t1"));
  EXPECT_EQ(File(), "t1\tzero air\r\nt2\tgas on 800 ppm\r\n");
  EXPECT_EQ(list_.Markers()[0].time, 1);
  EXPECT_FALSE(list_.Remove(1));
  EXPECT_EQ(File(), "t1\tzero air\r\n");
  EXPECT_FALSE(list_.Remove(5)) << "out of range: nothing";
  EXPECT_EQ(File(), "t1\tzero air\r\n");

  const std::vector<std::string> expected = {
      "t1\tzero air\r\nt2\tgas on 800 ppm\r\n",  // the removal undone
      "t2\tgas on 800 ppm\r\nt3\tzero air\r\n",  // the move
      "t2\tgas on 800 ppm\r\nt3\tgas off\r\n",   // the rename
      "t2\tgas on 800 ppm\r\n",                  // the second marker
      "",                                        // the first
  };
  for (const std::string& before : expected) {
    ASSERT_TRUE(list_.CanUndo());
    EXPECT_FALSE(list_.Undo());
    EXPECT_EQ(File(), before);
  }
  EXPECT_FALSE(list_.CanUndo());
  EXPECT_TRUE(list_.Markers().empty());
}

TEST_F(MarkerListTest, AFailedRewriteKeepsTheOldFileWholeAndTheNextOneCarriesTheChange) {
  ASSERT_FALSE(list_.Add(At(2, "t2", "gas on")));
  ASSERT_FALSE(list_.Add(At(3, "t3", "gas off")));
  const std::string before = File();
  // The rewrite's new file cannot be made: a folder stands in its place.
  const std::filesystem::path blocker = path_ + ".new";
  std::filesystem::create_directory(blocker);
  const std::optional<std::string> failed = list_.Rename(0, "gas on 800 ppm");
  ASSERT_TRUE(failed.has_value());
  EXPECT_FALSE(failed->empty());
  EXPECT_EQ(File(), before);
  EXPECT_EQ(list_.Markers()[0].label, "gas on 800 ppm") << "kept in the window";
  EXPECT_TRUE(list_.Remove(1).has_value());
  EXPECT_EQ(File(), before);

  std::filesystem::remove(blocker);
  EXPECT_FALSE(list_.Add(At(4, "t4", "zero air")));
  EXPECT_EQ(File(), "t2\tgas on 800 ppm\r\nt4\tzero air\r\n");
}

TEST_F(MarkerListTest, ResetStartsANewFileWithNothingToUndo) {
  ASSERT_FALSE(list_.Add(At(2, "t2", "gas on")));
  const std::string other = MarkerFilePath((folder_ / "next.txt").string());
  list_.Reset(other);
  EXPECT_TRUE(list_.Markers().empty());
  EXPECT_FALSE(list_.CanUndo());
  EXPECT_FALSE(list_.Add(At(5, "t5", "gas off")));
  EXPECT_EQ(base::ReadWholeFile(other), "t5\tgas off\r\n");
  EXPECT_EQ(File(), "t2\tgas on\r\n") << "the earlier file is left alone";
}

}  // namespace
}  // namespace quarn::analysis
