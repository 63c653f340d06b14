#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
#include "datafile/DataFileReader.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::datafile {
namespace {

using namespace std::chrono_literals;

struct PrintedRecord {
  double DT = 0;
  std::array<uint16_t, 10> values{};
};

// A record line the recorder printed: ISO 8601 under the C locale (or the date alone) and ten values.
PrintedRecord ParsePrinted(const std::string& line) {
  PrintedRecord printed;
  acquisition::LocalDateTime when;
  int year = 0;
  std::array<unsigned, 10> v{};
  const char* values = line.c_str() + line.find('\t');
  const int dateFields = std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d", &year, &when.month, &when.day, &when.hour,
                                     &when.minute, &when.second);
  EXPECT_TRUE(dateFields == 6 || dateFields == 3) << line;
  EXPECT_EQ(std::sscanf(values, "%u %u %u %u %u %u %u %u %u %u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                        &v[8], &v[9]),
            10)
      << line;
  when.year = year;
  printed.DT = acquisition::EncodeDayNumber(when);
  for (size_t i = 0; i < v.size(); ++i) printed.values[i] = static_cast<uint16_t>(v[i]);
  return printed;
}

std::array<uint16_t, 10> Values(const acquisition::MeasurementRecord& r) {
  return {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K};
}

TEST(RecordedRun, ReadsBackWhatTheRecorderMeasured) {
  char pattern[] = "/tmp/quarn-datafile-run-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string out = dir + "/out/";
  setenv("LC_ALL", "C", 1);

  sim::SimSensor sensor(sim::SimSensor::Options{});
  sensor.Control("field 5 11,12,13,14,15,16,17,18,19,20,21,22");
  sensor.Control("gas 750");
  recorder::testing::RecorderProcess::Options options;
  options.args = {"--port", "7", "--interval", "0.5", "--count", "6", "--out", out};
  options.portDir = sensor.PortDir();
  recorder::testing::RecorderProcess recorder(options);
  ASSERT_EQ(recorder::testing::RunToEnd(recorder), 0) << recorder.Err();

  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(out)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::string> printed = recorder.OutLines();
  ASSERT_GE(printed.size(), 6u);

  ReadOptions readOptions;
  readOptions.localeOrder = DateOrderOf(acquisition::SystemRegionalFormat());
  acquisition::MeasurementStore store;
  const ReadResult result = ReadDataFile(files[0], readOptions, store);

  EXPECT_EQ(result.skippedLines, 0u);
  ASSERT_EQ(result.runs.size(), 1u);
  EXPECT_EQ(result.runs[0].port, "COM7");
  EXPECT_EQ(result.runs[0].serialNumber, "102345");
  EXPECT_EQ(result.runs[0].firmware, "QRN-2.14");
  ASSERT_EQ(store.Count(), printed.size());
  for (size_t i : {size_t{0}, printed.size() - 1}) {
    const PrintedRecord expected = ParsePrinted(printed[i]);
    const acquisition::MeasurementRecord read = store.At(i);
    // Records that share a printed second are spread within it.
    EXPECT_GE(read.DT, expected.DT) << printed[i];
    EXPECT_LT((read.DT - expected.DT) * 86400.0, 1.0) << printed[i];
    EXPECT_EQ(Values(read), expected.values) << printed[i];
  }
  EXPECT_EQ(store.At(0).par5, 11);
  EXPECT_EQ(result.firstDT, store.At(0).DT);
  EXPECT_EQ(result.lastDT, store.At(store.Count() - 1).DT);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarn::datafile
