#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
#include "acquisition/tests/ScopedZone.h"
#include "analysis/AnalyzeProgram.h"
#include "analysis/MarkerFile.h"
#include "base/testing/WaitUntil.h"
#include "datafile/DataFileReader.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::analysis {
namespace {

using namespace std::chrono_literals;

constexpr double kTau = 6;
constexpr double kSecondsPerDay = 86400;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

// A 0.5 s run of quarn-record whose clock shows Berlin's 25 October 2026 from 02:59:30 summer time: the clock
// goes back from 03:00 to 02:00 while the concentration rises after a marked step to 1400 ppm, and falls
// after a second one in the repeated hour. The sensor's chamber answers with tau = 6 s in real time.
TEST(ClockChangeRun, ThroughTheRepeatedHourTheFileReadsInOrderAndTheResponseTimesAreTrue) {
  acquisition::testing::ScopedZone zone("Europe/Berlin");
  char pattern[] = "/tmp/quarn-clock-run-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string out = std::string(pattern) + "/out/";

  // The recorder's wall clock runs this many whole seconds ahead; its monotonic clock is left alone.
  const double fakeStart = acquisition::EncodeDayNumber({2026, 10, 25, 0, 59, 30, 0});
  const auto ahead =
      static_cast<long long>(std::llround((fakeStart - acquisition::CurrentDayNumber()) * kSecondsPerDay));
  const auto fakeNow = [ahead] {
    return acquisition::CurrentDayNumber() + static_cast<double>(ahead) / kSecondsPerDay;
  };

  sim::SimSensor::Options simOptions;
  simOptions.tau = kTau;
  simOptions.gas = 400;
  sim::SimSensor sensor(simOptions);
  recorder::testing::RecorderProcess::Options options;
  options.args = {"--port", "7", "--interval", "0.5", "--out", out, "--quiet"};
  options.portDir = sensor.PortDir();
  options.environment = {"LD_PRELOAD=" QUARN_FAKETIME_LIBRARY,
                         std::string("FAKETIME=") + (ahead >= 0 ? "+" : "") + std::to_string(ahead),
                         "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=Europe/Berlin", "LC_ALL=de_DE.UTF-8"};
  recorder::testing::RecorderProcess recorder(options);

  std::string dataFile;
  ASSERT_TRUE(base::WaitUntil(
      [&] {
        if (!std::filesystem::is_directory(out)) return false;
        for (const auto& entry : std::filesystem::directory_iterator(out)) dataFile = entry.path();
        return !dataFile.empty() && std::filesystem::file_size(dataFile) > 200;
      },
      10s));
  const acquisition::SystemRegionalFormat format("de_DE");
  const auto step = [&](const std::string& gas, const std::string& label) {
    const double before = fakeNow();
    sensor.Control("gas " + gas);
    const double after = fakeNow();
    std::string reason;
    ASSERT_TRUE(AppendMarker(MarkerFilePath(dataFile), acquisition::RecordTimeTextMs((before + after) / 2, format),
                             label, reason))
        << reason;
  };
  // The run's schedule in real time (the chamber's): a level before, the rise across the change (30 s after
  // the start), the fall in the repeated hour, each step ten tau long (settled over the 20 s level window).
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + 22s);
  step("1400", "gas on 1400 ppm");
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + 60s);
  step("400", "gas off");
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + 60s);
  recorder.Signal(SIGINT);
  ASSERT_EQ(recorder::testing::RunToEnd(recorder), 0) << recorder.Err();

  // The file shows the wall clock, the hour from 02:00 twice.
  const std::string text = recorder::testing::ReadWholeFile(dataFile);
  EXPECT_NE(text.find("25.10.26 02:59:59\t"), std::string::npos);
  EXPECT_NE(text.find("25.10.26 02:00:00\t"), std::string::npos);
  EXPECT_LT(text.find("25.10.26 02:59:59\t"), text.find("25.10.26 02:00:00\t"));

  datafile::ReadOptions readOptions;
  readOptions.localeOrder = datafile::DateOrder::DayMonthYear;
  acquisition::MeasurementStore store;
  datafile::ReadDataFile(dataFile, readOptions, store);
  const std::vector<acquisition::MeasurementRecord> records = store.ReadFrom(0);
  ASSERT_GT(records.size(), 1000u);
  // In order, no two times equal, at the line's pace; the whole run as long as it took.
  double longest = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    const double gap = (records[i].DT - records[i - 1].DT) * kSecondsPerDay;
    ASSERT_GT(gap, 0.0) << i;
    longest = std::max(longest, gap);
  }
  // The file keeps whole seconds: a second in which a loaded machine got one frame reads as a 1 s step. An hour
  // lost or doubled would be 3600 s.
  EXPECT_LT(longest, 2.0);
  const double span = (records.back().DT - records.front().DT) * kSecondsPerDay;
  EXPECT_GT(span, 135);
  EXPECT_LT(span, 165);
  EXPECT_LT(std::abs(records.front().DT - fakeStart) * kSecondsPerDay, 10);

  std::ostringstream analyzed;
  std::ostringstream errors;
  ASSERT_EQ(RunAnalyze({dataFile, "--csv", "--window", "20"}, readOptions, analyzed, errors), 0) << errors.str();
  std::vector<std::vector<std::string>> responses;
  std::vector<std::string> conc;
  for (const std::string& line : Split(analyzed.str(), '\n')) {
    const std::vector<std::string> cells = Split(line, ',');
    if (!cells.empty() && cells[0] == "Conc") conc = cells;
    if (cells.size() == 8 && cells[1].starts_with("gas")) responses.push_back(cells);
  }
  ASSERT_EQ(responses.size(), 2u) << analyzed.str();
  const double t90 = kTau * std::log(10.0);
  for (const auto& row : responses) {
    std::cout << "T90 from the file, " << row[1] << ": " << row[6] << " s\n";
    EXPECT_NEAR(std::stod(row[6]), t90, 1.0) << row[1];
    EXPECT_EQ(row[7], "yes") << row[1];
  }
  // The drift of the whole run: the least-squares slope over the true instants.
  ASSERT_EQ(conc.size(), 8u);
  double meanT = 0, meanC = 0;
  for (const auto& r : records) {
    meanT += (r.DT - records.front().DT) * kSecondsPerDay / records.size();
    meanC += static_cast<double>(r.C2) / records.size();
  }
  double sxy = 0, sxx = 0;
  for (const auto& r : records) {
    const double t = (r.DT - records.front().DT) * kSecondsPerDay - meanT;
    sxy += t * (static_cast<double>(r.C2) - meanC);
    sxx += t * t;
  }
  EXPECT_NEAR(std::stod(conc[7]), sxy / sxx * 3600, std::abs(sxy / sxx * 3600) * 0.01 + 0.01);
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace quarn::analysis
