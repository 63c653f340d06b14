#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "base/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include <fstream>
#include <iterator>
#include <random>
#else
#include "acquisition/tests/RunFixture.h"
#endif

namespace quarn::acquisition {
namespace {

#ifdef _WIN32
// The Windows build has no simulated sensor; these tests need only a fresh folder.
namespace testing {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AcquisitionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    std::filesystem::path folder;
    do {
      folder = std::filesystem::temp_directory_path() / ("quarn-acq-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(folder));
    dir_ = folder.string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

}  // namespace testing
#endif

using testing::ReadWholeFile;

TEST(ZeroPadded, PadsWithZerosToTheWidth) {
  struct Case {
    int64_t value;
    int width;
    const char* text;
  };
  const Case cases[] = {{7, 5, "00007"}, {0, 5, "00000"},       {65535, 5, "65535"}, {1200, 5, "01200"},
                        {5, 1, "5"},     {123456, 5, "123456"}, {42, 0, "42"},       {3, 3, "003"}};
  for (const Case& c : cases) EXPECT_EQ(ZeroPadded(c.value, c.width), c.text) << c.value << " width " << c.width;
}

// Reference values: days since 1899-12-30 as an independent calendar computes them.
TEST(DateTimeConversion, MatchesTheCalendarBothWays) {
  struct Case {
    LocalDateTime when;
    double DT;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1899, 12, 30, 12, 0, 0, 0}, 0.5},     {{2013, 9, 5, 14, 3, 0, 0}, 41522.0 + (14 * 60 + 3) / 1440.0},
      {{2000, 2, 29, 18, 0, 0, 0}, 36585.75}, {{2024, 12, 31, 0, 0, 0, 500}, 45657.0 + 0.5 / 86400.0},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDayNumber(c.when), c.DT) << c.DT;
    EXPECT_EQ(DecodeDayNumber(c.DT), c.when) << c.DT;
  }
}

TEST(DateTimeConversion, KeepsEveryMillisecondOfADay) {
  for (int ms = 0; ms < 86'400'000; ms += 7'919) {
    const LocalDateTime when{2031, 12, 31, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
    ASSERT_EQ(DecodeDayNumber(EncodeDayNumber(when)), when) << ms;
  }
  // The last millisecond of a day does not round over into the next one.
  const LocalDateTime last{2031, 12, 31, 23, 59, 59, 999};
  EXPECT_EQ(DecodeDayNumber(EncodeDayNumber(last)), last);
}

TEST(DataFileName, JoinsIdentityAndStartWithoutLeadingZeros) {
  struct Case {
    std::string serialNumber, firmware;
    LocalDateTime start;
    std::string name;
  };
  const Case cases[] = {
      {"12345", "2.04", {2013, 9, 5, 14, 3, 0, 0}, "/s/12345(2.04) 5-9-2013 14%3.txt"},
      {"102345", "QRN-2.14", {2024, 12, 31, 0, 0, 59, 999}, "/s/102345(QRN-2.14) 31-12-2024 0%0.txt"},
      {"7", "1.0\n", {2009, 10, 1, 23, 59, 0, 0}, "/s/7(1.0\n) 1-10-2009 23%59.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(DataFileName("/s/", c.serialNumber, c.firmware, c.start), c.name);
}

TEST(DataFileNameProblem, NamesTheCharacterNoFileNameMayHold) {
  struct Case {
    std::string serialNumber;
    std::string firmware;
    std::optional<std::string> problem;
  };
  const std::string tail = ", which a file name may not hold; no data file was created.";
  std::vector<Case> cases = {
      {"012345", "QRN 2.14-b (x)", std::nullopt},
      {"012345", "2.14\n", "The firmware revision holds a line feed (LF)" + tail},
      {"012345\r", "2.14", "The serial number holds a carriage return (CR)" + tail},
      {"012345", std::string("2.1\x01", 4), "The firmware revision holds the control character 1" + tail},
      {"0123\x7f", "2.14", "The serial number holds the control character 127" + tail},
  };
  for (const char c : std::string("/\\:*?\"<>|")) {
    cases.push_back({"01" + std::string(1, c), "2.14",
                     "The serial number holds the character \"" + std::string(1, c) + "\"" + tail});
  }
  for (const Case& c : cases)
    EXPECT_EQ(DataFileNameProblem(c.serialNumber, c.firmware), c.problem) << c.serialNumber << c.firmware;
}

TEST(HeaderBlock, FiveLinesInTheFileCodePage) {
  EXPECT_EQ(HeaderBlock("7", "102345", "QRN-2.14"),
            "================\r\nPort: COM7\r\nSN: 102345\r\nType: QRN-2.14\r\n================\r\n");
  // U+00B5 MICRO SIGN is one byte, 0xB5, in the file.
  EXPECT_EQ(HeaderBlock("12", "1", "2.1\xC2\xB5"),
            "================\r\nPort: COM12\r\nSN: 1\r\nType: 2.1\xB5\r\n================\r\n");
}

// Shows exactly which parts of the regional format a line takes.
class TaggedFormat : public RegionalFormat {
 public:
  std::string ShortDate(const LocalDateTime& w) const override {
    return "<date " + std::to_string(w.day) + "/" + std::to_string(w.month) + "/" + std::to_string(w.year) + ">";
  }
  std::string LongTime(const LocalDateTime& w) const override {
    return "<time " + std::to_string(w.hour) + ":" + std::to_string(w.minute) + ":" + std::to_string(w.second) + ">";
  }
};

TEST(DataLine, TimeTextAndTenFiveDigitValues) {
  const MeasurementRecord record{
      EncodeDayNumber({2013, 9, 5, 14, 3, 7, 250}), 25, 3100, 1200, 1500, 0, 0, 10000, 0, 65535, 7};
  EXPECT_EQ(DataLine(record, PlainRegionalFormat()),
            "2013-09-05 14:03:07\t00025\t03100\t01200\t01500\t00000\t00000\t10000\t00000\t65535\t00007\r\n");
  EXPECT_EQ(DataLine(record, TaggedFormat()),
            "<date 5/9/2013> <time "
            "14:3:7>\t00025\t03100\t01200\t01500\t00000\t00000\t10000\t00000\t65535\t00007\r\n");
}

TEST(DataLine, DateAloneOnlyWithinTheFirstSecondAfterMidnight) {
  struct Case {
    LocalDateTime when;
    std::string timeText;
  };
  const Case cases[] = {
      {{2020, 2, 29, 0, 0, 0, 0}, "<date 29/2/2020>"},
      {{2020, 2, 29, 0, 0, 0, 500}, "<date 29/2/2020>"},
      {{2020, 2, 29, 0, 0, 0, 999}, "<date 29/2/2020>"},
      {{2020, 2, 29, 0, 0, 1, 0}, "<date 29/2/2020> <time 0:0:1>"},
      {{2020, 2, 29, 0, 1, 0, 0}, "<date 29/2/2020> <time 0:1:0>"},
      {{2020, 2, 29, 12, 0, 0, 0}, "<date 29/2/2020> <time 12:0:0>"},
      {{2020, 2, 29, 23, 59, 59, 999}, "<date 29/2/2020> <time 23:59:59>"},
  };
  for (const Case& c : cases) {
    const MeasurementRecord record{EncodeDayNumber(c.when), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(DataLine(record, TaggedFormat()),
              c.timeText + "\t00001\t00002\t00003\t00004\t00005\t00006\t00007\t00008\t00009\t00010\r\n");
  }
}

TEST(RecordFromFrame, FieldsInOrderKeepingTheLow16Bits) {
  const int32_t values[10] = {25, 3100, 1200, 1500, 70000, 65536, 65535, 131071, 0, 2147483647};
  const MeasurementRecord r = RecordFromFrame(41522.5, std::span<const int32_t, 10>(values));
  EXPECT_EQ(r, (MeasurementRecord{41522.5, 25, 3100, 1200, 1500, 4464, 0, 65535, 65535, 0, 65535}));
}

class DataFileTest : public testing::AcquisitionFixture {};

TEST_F(DataFileTest, CreatesThenAppendsAtTheEnd) {
  const std::string path = dir_ + "/run.txt";
  std::string reason;
  {
    DataFile file;
    ASSERT_TRUE(file.Open(path, reason)) << reason;
    ASSERT_TRUE(file.Write("first\r\n", reason)) << reason;
  }
  DataFile file;
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  ASSERT_TRUE(file.Write("second\r\n", reason)) << reason;
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadWholeFile(path), "first\r\nsecond\r\n");
}

TEST_F(DataFileTest, OpenFailuresCarryTheSystemReason) {
  std::filesystem::create_directory(dir_ + "/folder.txt");
  struct Case {
    std::string path;
    int code;
  };
#ifdef _WIN32
  const Case cases[] = {{dir_ + "/folder.txt", ERROR_ACCESS_DENIED}, {dir_ + "/QRN/2.14.txt", ERROR_PATH_NOT_FOUND}};
#else
  const Case cases[] = {{dir_ + "/folder.txt", EISDIR}, {dir_ + "/QRN/2.14.txt", ENOENT}};
#endif
  for (const Case& c : cases) {
    DataFile file;
    std::string reason;
    EXPECT_FALSE(file.Open(c.path, reason));
    EXPECT_EQ(reason, "Cannot open file \"" + c.path + "\". " + base::SystemErrorText(c.code));
  }
}

#ifdef _WIN32
// Windows keeps a deleted file's name until its last handle closes, or drops it at once; either counts.
TEST_F(DataFileTest, NoticesWhenTheOpenFileIsDeleted) {
  const std::string path = dir_ + "/run.txt";
  DataFile file;
  std::string reason;
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  EXPECT_FALSE(file.Unlinked());
  if (base::RunningUnderWine()) {
    GTEST_SKIP() << "Wine keeps a deleted open file's name and reports no pending delete until it is closed";
  }
  ASSERT_TRUE(DeleteFileW(base::WideFromUtf8(path).c_str())) << GetLastError();
  EXPECT_TRUE(file.Unlinked());
  file.Close();
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  EXPECT_FALSE(file.Unlinked());
  ASSERT_TRUE(file.Write("after\r\n", reason)) << reason;
  file.Close();
  EXPECT_EQ(ReadWholeFile(path), "after\r\n");
}

// Wide-character paths: a folder and a file name outside the ANSI code page.
TEST_F(DataFileTest, NamesOutsideTheCodePage) {
  const std::string folder = dir_ + "/\xD0\x94\xE6\x95\xB0/";  // Cyrillic De, CJK number
  ASSERT_TRUE(EnsureSaveFolder(folder));
  const std::string path = folder + "\xCE\xA9(2.1) 5-9-2013 14%3.txt";
  DataFile file;
  std::string reason;
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  ASSERT_TRUE(file.Write("line\r\n", reason)) << reason;
  file.Close();
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end()))));
}
#else
TEST_F(DataFileTest, AFullDeviceFailsEveryWriteAndKeepsTrying) {
  const std::string path = dir_ + "/full.txt";
  std::filesystem::create_symlink("/dev/full", path);
  DataFile file;
  std::string reason;
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  for (int attempt = 0; attempt < 2; ++attempt) {
    reason.clear();
    EXPECT_FALSE(file.Write("line\r\n", reason));
    EXPECT_EQ(reason, base::SystemErrorText(ENOSPC));
  }
}

TEST_F(DataFileTest, NoticesWhenTheOpenFileLosesItsName) {
  const std::string path = dir_ + "/Save/run.txt";
  ASSERT_TRUE(EnsureSaveFolder(dir_ + "/Save/"));
  DataFile file;
  std::string reason;
  ASSERT_TRUE(file.Open(path, reason)) << reason;
  EXPECT_FALSE(file.Unlinked());
  std::filesystem::remove_all(dir_ + "/Save");
  EXPECT_TRUE(file.Unlinked());
  // Reopening fails while the folder is gone and keeps the old file open.
  EXPECT_FALSE(file.Reopen(path, reason));
  EXPECT_TRUE(file.IsOpen());
  ASSERT_TRUE(EnsureSaveFolder(dir_ + "/Save/"));
  ASSERT_TRUE(file.Reopen(path, reason)) << reason;
  EXPECT_FALSE(file.Unlinked());
  ASSERT_TRUE(file.Write("after\r\n", reason)) << reason;
  file.Close();
  EXPECT_EQ(ReadWholeFile(path), "after\r\n");
}

#endif

TEST_F(DataFileTest, SaveFolderIsCreatedOneLevelOnly) {
  EXPECT_TRUE(EnsureSaveFolder(dir_ + "/Save/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/Save"));
  EXPECT_TRUE(EnsureSaveFolder(dir_ + "/Save/"));
  EXPECT_FALSE(EnsureSaveFolder(dir_ + "/Gone/Save/"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/Gone"));
}

}  // namespace
}  // namespace quarn::acquisition
