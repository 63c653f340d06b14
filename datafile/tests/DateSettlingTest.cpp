#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/SystemRegionalFormat.h"
#include "datafile/DataFileReader.h"
#include "datafile/tests/TestFormats.h"

namespace quarn::datafile {
namespace {

using acquisition::LocalDateTime;
using acquisition::MeasurementRecord;

std::vector<MeasurementRecord> ReadBack(const std::string& bytes, const ReadOptions& options, ReadResult& result) {
  std::vector<MeasurementRecord> records;
  result = ReadDataBytes(bytes, options, [&](std::span<const MeasurementRecord> batch) {
    records.insert(records.end(), batch.begin(), batch.end());
  });
  return records;
}

int64_t Day(int year, int month, int day) {
  return static_cast<int64_t>(acquisition::EncodeDayNumber({year, month, day, 0, 0, 0, 0}));
}

// Every writer's text under each locale reads back to the instants written, the name settling the order.
TEST(DatesSettled, EachLocalesFileReadsBackToItsInstants) {
  for (const char* locale : {"en_GB", "en_US", "de_DE", "fr_FR", "ja_JP", "C"}) {
    const acquisition::SystemRegionalFormat format(locale);
    // The 3rd to the 5th of November: every day is 12 or less, so only the name says which number is the day.
    const auto written = testing::Records({2030, 11, 3, 22, 0, 0, 0}, 100, 2000);
    ReadOptions options;
    options.localeOrder =
        DateOrder::MonthDayYear == DateOrderOf(format) ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
    options.nameDay = Day(2030, 11, 3);
    ReadResult result;
    const auto read = ReadBack(testing::RunText(written, format), options, result);
    ASSERT_EQ(read.size(), written.size()) << locale;
    for (size_t i = 0; i < read.size(); ++i)
      ASSERT_EQ(read[i].DT, testing::FileTime(written[i].DT)) << locale << " " << i;
    EXPECT_EQ(result.dateOrder, DateOrderOf(format)) << locale;
  }
}

TEST(DatesSettled, TheNameWinsOverTheLocalesGuess) {
  const auto written = testing::Records({2026, 11, 3, 22, 0, 0, 0}, 50, 600);
  const std::string bytes = testing::RunText(written, testing::TestFormat(testing::Locale::EnGb));
  ReadOptions options;
  options.localeOrder = DateOrder::MonthDayYear;
  ReadResult result;
  ReadBack(bytes, options, result);
  EXPECT_EQ(result.dateOrder, DateOrder::MonthDayYear);
  EXPECT_FALSE(result.dateOrderSettledByFile);

  options.nameDay = NameDay("/data/102345(QRN-2.14) 3-11-2026 22%0.txt");
  ASSERT_EQ(options.nameDay, Day(2026, 11, 3));
  const auto read = ReadBack(bytes, options, result);
  EXPECT_EQ(result.dateOrder, DateOrder::DayMonthYear);
  EXPECT_TRUE(result.dateOrderSettledByFile);
  EXPECT_EQ(result.dateReading, "dates read day-first, as the file's name dates the run");
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(read.front().DT, testing::FileTime(written.front().DT));

  options.nameDay.reset();
  options.chosenOrder = DateOrder::DayMonthYear;
  ReadBack(bytes, options, result);
  EXPECT_EQ(result.dateOrder, DateOrder::DayMonthYear);
}

TEST(DatesSettled, NamesWithoutADate) {
  EXPECT_EQ(NameDay("notes.txt"), std::nullopt);
  EXPECT_EQ(NameDay("102345(QRN-2.14) 31-2-2026 22%0.txt"), std::nullopt);
  EXPECT_EQ(NameDay("C:\\data\\102345(QRN-2.14) 5-9-2075 9%03.txt"), Day(2075, 9, 5));
}

// Two-digit years: the name's year, or the file's own year without a usable name, sets the century.
TEST(DatesSettled, TwoDigitYearsAroundTheFilesYear) {
  struct Case {
    int year;
    bool byName;
  };
  for (const Case c : {Case{2030, true}, Case{2075, true}, Case{2030, false}, Case{2075, false}}) {
    const auto written = testing::Records({c.year, 9, 5, 14, 3, 7, 0}, 20, 3);
    const std::string bytes = testing::RunText(written, testing::TestFormat(testing::Locale::TwoDigitYear));
    const std::string dir = (std::filesystem::temp_directory_path() / "quarn-two-digit-years").string();
    std::filesystem::create_directories(dir);
    const std::string path =
        dir + (c.byName ? "/102345(QRN-2.14) 5-9-" + std::to_string(c.year) + " 14%3.txt" : "/copy of run.txt");
    std::ofstream(path, std::ios::binary) << bytes;
    if (!c.byName) {
      // The file was last written in that year.
      const std::chrono::sys_seconds then = std::chrono::sys_days(std::chrono::year(c.year) / 9 / 6);
      std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(then));
    }
    acquisition::MeasurementStore store;
    ReadOptions options;
    options.localeOrder = DateOrder::DayMonthYear;
    const ReadResult result = ReadDataFile(path, options, store);
    ASSERT_EQ(store.Count(), written.size()) << c.year;
    EXPECT_EQ(store.At(0).DT, testing::FileTime(written[0].DT)) << c.year << (c.byName ? " by name" : " by file");
    std::filesystem::remove(path);
  }
  // Nothing dates the bytes alone: the common window.
  const auto written = testing::Records({2030, 9, 5, 14, 3, 7, 0}, 5, 3);
  ReadResult result;
  const auto read = ReadBack(testing::RunText(written, testing::TestFormat(testing::Locale::TwoDigitYear)), {}, result);
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(acquisition::DecodeDayNumber(read[0].DT).year, 1930);
}

// Records that share a whole second in the file arrived at the line's pace: they come back spread over it.
TEST(WholeSeconds, SharedSecondsSpreadEvenly) {
  std::vector<MeasurementRecord> written;
  const double start = acquisition::EncodeDayNumber({2026, 12, 10, 20, 37, 58, 0});
  // 2, 3, 1 and 2 records in four seconds.
  for (const auto& [second, count] : {std::pair{0, 2}, {1, 3}, {2, 1}, {3, 2}})
    for (int i = 0; i < count; ++i) written.push_back({start + second / 86400.0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ReadResult result;
  const auto read = ReadBack(testing::RunText(written, testing::TestFormat(testing::Locale::Iso)), {}, result);
  ASSERT_EQ(read.size(), written.size());
  const std::vector<double> offsets = {0, 0.5, 1, 1 + 1 / 3.0, 1 + 2 / 3.0, 2, 3, 3.5};
  for (size_t i = 0; i < read.size(); ++i) EXPECT_NEAR((read[i].DT - start) * 86400.0, offsets[i], 1e-4) << i;
  EXPECT_NEAR((result.lastDT - start) * 86400.0, 3.5, 1e-4);
}

}  // namespace
}  // namespace quarn::datafile
