#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "base/Files.h"
#include "datafile/CsvExport.h"
#include "datafile/tests/TestFormats.h"

namespace quarn::datafile {
namespace {

using acquisition::MeasurementRecord;

class CsvExport : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-csv-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }
  std::string dir_;
};

TEST_F(CsvExport, RangeOfTheStoreReReadsToTheSameValues) {
  const auto records = testing::Records({2026, 12, 10, 23, 59, 58, 0}, 10'000, 1);
  acquisition::MeasurementStore store;
  for (const auto& r : records) store.Append(r);
  const std::string path = dir_ + "/range.csv";
  size_t lastDone = 0;
  ASSERT_TRUE(ExportCsv(path, store, 100, 9'000, [&](size_t done, size_t total) {
    EXPECT_EQ(total, 8'900u);
    lastDone = done;
    return true;
  }));
  EXPECT_EQ(lastDone, 8'900u);

  const std::vector<MeasurementRecord> read = ReadCsv(path);
  ASSERT_EQ(read.size(), 8'900u);
  for (size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i], records[100 + i]) << i;
  const std::string text = base::ReadWholeFile(path);
  EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
            "Time,Temp,St,Ur,Um,S,Stz,Stzkt,Conc1,Conc,Status\r\n"
            "2026-12-11T00:01:38.250,20,3700,65535,1500,100,0,10000,700,400,0\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"range.csv"});
}

TEST_F(CsvExport, CancelledOrFailedExportLeavesNoFileAndTheOldOneUnchanged) {
  const auto records = testing::Records({2026, 1, 2, 3, 4, 5, 0}, 20'000, 2);
  const std::string path = dir_ + "/out.csv";
  std::ofstream(path) << "older export";
  EXPECT_FALSE(ExportCsv(path, records, [](size_t done, size_t) { return done < 8'000; }));
  EXPECT_EQ(base::ReadWholeFile(path), "older export");
  EXPECT_EQ(Files(), std::vector<std::string>{"out.csv"});

  EXPECT_THROW(ExportCsv(dir_ + "/missing/out.csv", records), DataFileError);
  EXPECT_EQ(Files(), std::vector<std::string>{"out.csv"});

  ASSERT_TRUE(ExportCsv(path, std::span(records).first(3)));
  EXPECT_EQ(ReadCsv(path).size(), 3u);
}

// Two runs whose times overlap (the clock was set back between them): the range picks by time, in store order.
TEST_F(CsvExport, TimeRangeTakesTheRecordsWithinItInStoreOrder) {
  const auto first = testing::Records({2026, 3, 1, 12, 0, 0, 0}, 100, 60);
  const auto second = testing::Records({2026, 3, 1, 12, 30, 0, 0}, 100, 60);
  acquisition::MeasurementStore store;
  for (const auto* run : {&first, &second})
    for (const auto& r : *run) store.Append(r);
  const double from = acquisition::EncodeDayNumber({2026, 3, 1, 13, 0, 0, 0});
  const double to = acquisition::EncodeDayNumber({2026, 3, 1, 13, 10, 0, 0});
  const std::string path = dir_ + "/range.csv";
  ASSERT_TRUE(ExportCsvInTimeRange(path, store, from, to));

  std::vector<MeasurementRecord> expected;
  for (const auto* run : {&first, &second})
    for (const auto& r : *run)
      if (r.DT >= from && r.DT <= to) expected.push_back(r);
  EXPECT_EQ(expected.size(), 20u);
  EXPECT_EQ(ReadCsv(path), expected);
}

TEST_F(CsvExport, ReadingRefusesOtherFiles) {
  const std::string path = dir_ + "/other.csv";
  std::ofstream(path) << CsvHeaderRow() << "\r\n2026-01-02T03:04:05.000,1,2,3,4,5,6,7,8,9\r\n";
  EXPECT_THROW(ReadCsv(path), DataFileError);
  std::ofstream(path) << "a,b\r\n";
  EXPECT_THROW(ReadCsv(path), DataFileError);
}

}  // namespace
}  // namespace quarn::datafile
