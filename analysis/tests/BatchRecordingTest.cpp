#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
#include "analysis/AnalyzeProgram.h"
#include "analysis/MarkerFile.h"
#include "base/testing/WaitUntil.h"
#include "datafile/DataFileReader.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::analysis {
namespace {

using namespace std::chrono_literals;

constexpr double kSecondsPerDay = 86400;
constexpr const char* kStepLabel = "gas on 1400 ppm";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

// One simulated sensor and the quarn-record run that records it, each in folders of its own.
struct Bench {
  std::string serial;
  double tau;
  double scatter;  // ppm of Gaussian noise on the gas it sees
  std::unique_ptr<sim::SimSensor> sensor;
  std::unique_ptr<recorder::testing::RecorderProcess> recorder;
  std::string dataFile;
};

// Three sensors in one chamber, recorded together at 0.5 s through a marked step from 400 to 1400 ppm: a fast
// quiet one, a slow one (tau 10 s, T90 about 23 s) and a fast noisy one (40 ppm). Judged together against
// limits of T90 at most 15 s and a deviation of the settled level of at most 15 ppm, the first passes, the
// second fails on T90, the third on the deviation, and the batch's status is 3.
TEST(BatchRecording, ThreeSensorsThroughAMarkedStepAreJudgedAgainstLimits) {
  char pattern[] = "/tmp/quarn-batch-run-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  const acquisition::SystemRegionalFormat format("de_DE");
  datafile::ReadOptions readOptions;
  readOptions.localeOrder = datafile::DateOrder::DayMonthYear;

  std::vector<Bench> benches(3);
  benches[0].serial = "300001", benches[0].tau = 2, benches[0].scatter = 0;
  benches[1].serial = "300002", benches[1].tau = 10, benches[1].scatter = 0;
  benches[2].serial = "300003", benches[2].tau = 2, benches[2].scatter = 40;
  for (size_t b = 0; b < benches.size(); ++b) {
    Bench& bench = benches[b];
    sim::SimSensor::Options simOptions;
    simOptions.tau = bench.tau;
    simOptions.gas = 400;
    simOptions.args = {"--serial", bench.serial};
    bench.sensor = std::make_unique<sim::SimSensor>(simOptions);
    if (bench.scatter > 0) bench.sensor->Control("scatter " + std::to_string(bench.scatter));
    recorder::testing::RecorderProcess::Options options;
    options.args = {"--port", "7", "--interval", "0.5", "--out", folder + "/out" + std::to_string(b), "--quiet"};
    options.portDir = bench.sensor->PortDir();
    options.environment = {"LC_ALL=de_DE.UTF-8"};
    bench.recorder = std::make_unique<recorder::testing::RecorderProcess>(options);
  }

  // The records each file holds, and the time of its last one (UTC day number).
  const auto lastRecord = [&](const std::string& file) {
    acquisition::MeasurementStore store;
    try {
      const datafile::ReadResult read = datafile::ReadDataFile(file, readOptions, store);
      return read.records > 0 ? read.lastDT : 0.0;
    } catch (const std::exception&) {
      return 0.0;
    }
  };
  const auto slowPolls = [] { std::this_thread::sleep_for(200ms); };
  for (size_t b = 0; b < benches.size(); ++b) {
    const std::string out = folder + "/out" + std::to_string(b);
    ASSERT_TRUE(base::WaitUntil(
        [&] {
          if (!std::filesystem::is_directory(out)) return false;
          for (const auto& entry : std::filesystem::directory_iterator(out)) {
            if (entry.path().extension() == ".txt") benches[b].dataFile = entry.path();
          }
          return !benches[b].dataFile.empty() && lastRecord(benches[b].dataFile) > 0;
        },
        20s, slowPolls))
        << benches[b].recorder->Err();
  }
  // The chamber's schedule runs in real time: 20 s at 400 ppm recorded before the step, 70 s after it.
  const auto recordedUntil = [&](double instant) {
    return [&, instant] {
      for (const Bench& bench : benches) {
        if (lastRecord(bench.dataFile) < instant) return false;
      }
      return true;
    };
  };
  ASSERT_TRUE(base::WaitUntil(recordedUntil(acquisition::CurrentDayNumber() + 20 / kSecondsPerDay), 60s, slowPolls));
  for (Bench& bench : benches) {
    const double before = acquisition::CurrentDayNumber();
    bench.sensor->Control("gas 1400");
    const double after = acquisition::CurrentDayNumber();
    std::string reason;
    ASSERT_TRUE(AppendMarker(MarkerFilePath(bench.dataFile),
                             acquisition::RecordTimeTextMs((before + after) / 2, format), kStepLabel, reason))
        << reason;
  }
  ASSERT_TRUE(base::WaitUntil(recordedUntil(acquisition::CurrentDayNumber() + 70 / kSecondsPerDay), 120s, slowPolls));
  for (Bench& bench : benches) {
    bench.recorder->Signal(SIGINT);
    ASSERT_EQ(recorder::testing::RunToEnd(*bench.recorder), 0) << bench.recorder->Err();
  }

  const std::string limits = folder + "/limits.ini";
  std::ofstream(limits) << "# a batch of CO2 sensors\n"
                           "T90_max_s = 15\n"
                           "[marker "
                        << kStepLabel
                        << "]\n"
                           "sd_max = 15\n"
                           "level_after_min = 1200\n"
                           "level_after_max = 1600\n";
  const std::vector<std::string> args = {
      benches[0].dataFile, benches[1].dataFile, benches[2].dataFile, "--limits", limits, "--window", "15", "--csv"};
  std::ostringstream analyzed;
  std::ostringstream errors;
  EXPECT_EQ(RunAnalyze(args, readOptions, analyzed, errors), 3) << errors.str() << analyzed.str();
  std::cout << analyzed.str();

  std::vector<std::vector<std::string>> summaries;
  std::vector<std::vector<std::string>> steps;
  for (const std::string& line : Split(analyzed.str(), '\n')) {
    const std::vector<std::string> cells = Split(line, ',');
    if (cells.size() == 13 && cells[1].starts_with("30000")) summaries.push_back(cells);
    if (cells.size() == 10 && cells[2] == kStepLabel) steps.push_back(cells);
  }
  ASSERT_EQ(summaries.size(), 3u) << analyzed.str();
  ASSERT_EQ(steps.size(), 3u) << analyzed.str();
  for (size_t b = 0; b < benches.size(); ++b) {
    EXPECT_EQ(summaries[b][0], benches[b].dataFile);
    EXPECT_EQ(summaries[b][1], benches[b].serial);
    EXPECT_EQ(steps[b][0], benches[b].dataFile);
  }
  EXPECT_EQ(summaries[0].back(), "PASS");
  EXPECT_EQ(summaries[1].back(), std::string("FAIL: T90_max_s (") + kStepLabel + ")");
  EXPECT_EQ(summaries[2].back(), std::string("FAIL: sd_max (") + kStepLabel + ")");
  EXPECT_EQ(steps[0].back(), "PASS");
  EXPECT_EQ(steps[1].back(), "FAIL: T90_max_s");
  EXPECT_EQ(steps[2].back(), "FAIL: sd_max");
  // The recorded responses are those of the chambers: T90 = tau ln 10.
  EXPECT_NEAR(std::stod(steps[0][7]), 2 * std::log(10.0), 1.5);
  EXPECT_NEAR(std::stod(steps[1][7]), 10 * std::log(10.0), 1.5);

  // The program itself says so in its status.
  std::string command = "LC_ALL=de_DE.UTF-8 '" + std::string(QUARN_ANALYZE_PATH) + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(printed, analyzed.str());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quarn::analysis
