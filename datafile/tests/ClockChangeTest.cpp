#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/SystemRegionalFormat.h"
#include "acquisition/tests/ScopedZone.h"
#include "datafile/CsvExport.h"
#include "datafile/DataFileReader.h"
#include "datafile/tests/TestFormats.h"

namespace quarn::datafile {
namespace {

using acquisition::LocalDateTime;
using acquisition::MeasurementRecord;

struct ChangeCase {
  const char* name;
  LocalDateTime startUtc;
  int seconds;
  const char* firstText;  // the file's first and last time texts, in de_DE
  const char* lastText;
};

// Through the hour Berlin repeats (02:58 summer time to 02:05 winter time) and across the one it skips.
const ChangeCase kChanges[] = {
    {"repeated", {2026, 10, 25, 0, 58, 0, 0}, 7 * 60, "25.10.26 02:58:00", "25.10.26 02:05:00"},
    {"skipped", {2026, 3, 29, 0, 55, 0, 0}, 10 * 60, "29.03.26 01:55:00", "29.03.26 03:05:00"},
};

// Records every 0.5 s, as a run at the fastest setting writes them.
std::vector<MeasurementRecord> HalfSecondRecords(const ChangeCase& c) {
  std::vector<MeasurementRecord> records;
  const double start = acquisition::EncodeDayNumber(c.startUtc);
  for (int i = 0; i <= 2 * c.seconds; ++i) {
    MeasurementRecord& r = records.emplace_back();
    r.DT = start + i * 0.5 / 86400.0;
    r.C2 = static_cast<uint16_t>(i);
  }
  return records;
}

TEST(ClockChange, AFileWrittenInLocalTimeReadsBackInOrderWithTrueDurations) {
  acquisition::testing::ScopedZone zone("Europe/Berlin");
  const acquisition::SystemRegionalFormat format("de_DE");
  for (const ChangeCase& c : kChanges) {
    const std::vector<MeasurementRecord> written = HalfSecondRecords(c);
    std::string bytes = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
    for (const MeasurementRecord& r : written) bytes += acquisition::DataLine(r, format);
    // The file shows the local wall clock, as it always has.
    EXPECT_EQ(acquisition::RecordTimeText(written.front().DT, format), c.firstText) << c.name;
    EXPECT_EQ(acquisition::RecordTimeText(written.back().DT, format), c.lastText) << c.name;

    std::vector<MeasurementRecord> read;
    ReadOptions options;
    options.localeOrder = DateOrder::DayMonthYear;
    ReadDataBytes(bytes, options, [&](std::span<const MeasurementRecord> batch) {
      read.insert(read.end(), batch.begin(), batch.end());
    });
    ASSERT_EQ(read.size(), written.size()) << c.name;
    for (size_t i = 0; i < read.size(); ++i) {
      // Whole seconds in the file, spread back at the line's pace: the instants written.
      ASSERT_NEAR((read[i].DT - written[i].DT) * 86400.0, 0.0, 1e-3) << c.name << " " << i;
      ASSERT_EQ(read[i].C2, written[i].C2);
    }
  }
}

TEST(ClockChange, CsvKeepsTheWallClockAndReadsBackTheInstants) {
  acquisition::testing::ScopedZone zone("Europe/Berlin");
  char folder[] = "/tmp/quarn-clock-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  for (const ChangeCase& c : kChanges) {
    const std::vector<MeasurementRecord> written = HalfSecondRecords(c);
    const std::string path = std::string(folder) + "/run.csv";
    ASSERT_TRUE(ExportCsv(path, written, {}));
    const std::vector<MeasurementRecord> read = ReadCsv(path);
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i)
      ASSERT_NEAR((read[i].DT - written[i].DT) * 86400.0, 0.0, 1e-3) << c.name << " " << i;
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quarn::datafile
