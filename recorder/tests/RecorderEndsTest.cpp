// How runs end and what they leave: an exact count, a full disk, a standard output that goes away, two runs
// in one file, a port the user may not open, and a missing home folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "link/SerialPort.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::recorder {
namespace {

using namespace std::chrono_literals;
using testing::ReadWholeFile;
using testing::RecorderProcess;
using testing::RunToEnd;
using testing::SplitLines;

// Frame field 5 counts the frames the simulator sends: 1, 2, 3, ...
std::string CounterControl() {
  std::string line = "field 5 ";
  for (int i = 1; i <= 600; ++i) line += (i > 1 ? "," : "") + std::to_string(i);
  return line;
}

// The files in folder (none when it does not exist).
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The data lines of a data file: every CR LF line that starts with a digit (header lines do not).
size_t DataLinesIn(const std::string& path) {
  size_t count = 0;
  for (const std::string& line : SplitLines(ReadWholeFile(path))) {
    if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) && line.back() == '\r') ++count;
  }
  return count;
}

size_t HeaderBlocksIn(const std::string& path) {
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), "Port: COM7\r"));
}

// The number in the last summary line: "quarn-record: COM7: after 0h00m: 12 records, ...".
std::optional<uint64_t> SummaryRecords(const RecorderProcess& recorder) {
  const std::vector<std::string> err = recorder.ErrLines();
  const std::string mark = ": after ";
  for (auto line = err.rbegin(); line != err.rend(); ++line) {
    const size_t at = line->find(mark);
    if (at == std::string::npos) continue;
    const size_t colon = line->find(": ", at + mark.size());
    if (colon == std::string::npos) return std::nullopt;
    return std::stoull(line->substr(colon + 2));
  }
  return std::nullopt;
}

class RecorderEnds : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-record-ends-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/out";
  }
  void TearDown() override {
    if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::unique_ptr<sim::SimSensor> StartSensor() {
    sim::SimSensor::Options options;
    auto sensor = std::make_unique<sim::SimSensor>(options);
    sensor->Control(CounterControl());
    return sensor;
  }

  std::unique_ptr<RecorderProcess> StartRecorder(const sim::SimSensor& sensor, std::vector<std::string> args,
                                                 RecorderProcess::Options options = {}) {
    options.args = std::move(args);
    options.portDir = sensor.PortDir();
    return std::make_unique<RecorderProcess>(options);
  }

  // A file system of its own with freeBytes left (rounded to its pages); false where mounting is not allowed.
  bool MountSmallDisk(size_t freeBytes) {
    disk_ = dir_ + "/disk";
    std::filesystem::create_directories(disk_);
    const std::string size = "size=" + std::to_string(64 * 1024);
    if (mount("tmpfs", disk_.c_str(), "tmpfs", 0, size.c_str()) != 0) return false;
    mounted_ = true;
    // Filled to the brim, then given back what the test asks for.
    std::ofstream filler(disk_ + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) filler.flush();
    filler.close();
    const auto full = std::filesystem::file_size(disk_ + "/filler");
    std::filesystem::resize_file(disk_ + "/filler", full > freeBytes ? full - freeBytes : 0);
    return true;
  }

  std::string dir_;
  std::string out_;
  std::string disk_;
  bool mounted_ = false;
};

struct CountCase {
  const char* name;
  const char* interval;
  uint64_t count;
};

void PrintTo(const CountCase& c, std::ostream* out) { *out << c.name; }

class ExactCount : public RecorderEnds, public ::testing::WithParamInterface<CountCase> {};

// The file, standard output and the summary hold exactly the records asked for, none that was under way.
TEST_P(ExactCount, StopsAfterExactlyNRecords) {
  const CountCase& c = GetParam();
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(
      *sensor, {"--port", "7", "--interval", c.interval, "--count", std::to_string(c.count), "--out", out_});
  ASSERT_EQ(RunToEnd(*recorder, 120s), 0) << recorder->Err();
  const std::vector<std::string> files = FilesIn(out_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(DataLinesIn(files[0]), c.count);
  EXPECT_EQ(recorder->OutLines().size(), c.count);
  EXPECT_EQ(SummaryRecords(*recorder), c.count) << recorder->Err();
}

INSTANTIATE_TEST_SUITE_P(Recorder, ExactCount,
                         ::testing::Values(CountCase{"Fastest", "0.5", 100}, CountCase{"TwoSeconds", "2", 3}),
                         [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

struct DiskCase {
  const char* name;
  size_t freeBytes;
};

void PrintTo(const DiskCase& c, std::ostream* out) { *out << c.name; }

class FullDisk : public RecorderEnds, public ::testing::WithParamInterface<DiskCase> {};

// What the summary and standard output count is what reached the file; a file no line reached is gone.
TEST_P(FullDisk, CountsOnlyWhatReachedTheFile) {
  const DiskCase& c = GetParam();
  if (!MountSmallDisk(c.freeBytes)) GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << std::strerror(errno);
  const auto sensor = StartSensor();
  const std::string out = disk_ + "/out";
  std::filesystem::create_directories(out);
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "0.5", "--out", out});
  ASSERT_EQ(RunToEnd(*recorder), 8) << recorder->Err();
  EXPECT_EQ(recorder->ErrLines().at(0), "quarn-record: COM7: Error writing to file: " + link::SystemErrorText(ENOSPC));
  const std::vector<std::string> files = FilesIn(out);
  const size_t printed = recorder->OutLines().size();
  EXPECT_EQ(SummaryRecords(*recorder), printed) << recorder->Err();
  if (c.freeBytes == 0) {
    EXPECT_TRUE(files.empty()) << "a data file without a line is removed";
    EXPECT_EQ(printed, 0u);
    EXPECT_NE(recorder->Err().find("no data file (no record reached it)"), std::string::npos) << recorder->Err();
  } else {
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(printed, 3u);
    EXPECT_EQ(DataLinesIn(files[0]), printed);
    EXPECT_EQ(ReadWholeFile(files[0]).back(), '\n') << "no part of a line";
  }
}

INSTANTIATE_TEST_SUITE_P(Recorder, FullDisk,
                         ::testing::Values(DiskCase{"NothingFree", 0}, DiskCase{"AFewKilobytesFree", 4096}),
                         [](const ::testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.name); });

struct OutputCase {
  const char* name;
  RecorderProcess::Options::Output output;
  int error;
};

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

class OutputGone : public RecorderEnds, public ::testing::WithParamInterface<OutputCase> {};

// A standard output that takes nothing ends the run at once, as Stop would, with its own status.
TEST_P(OutputGone, EndsTheRunWithOneLineAndACompleteFile) {
  const OutputCase& c = GetParam();
  const auto sensor = StartSensor();
  RecorderProcess::Options options;
  options.output = c.output;
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--out", out_}, options);
  ASSERT_EQ(RunToEnd(*recorder), 10) << recorder->Err();
  const std::vector<std::string> err = recorder->ErrLines();
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err[0], "quarn-record: COM7: standard output: " + link::SystemErrorText(c.error));
  for (size_t i = 1; i < err.size(); ++i) EXPECT_EQ(err[i].rfind("quarn-record: COM7: after ", 0), 0u) << err[i];
  const std::vector<std::string> files = FilesIn(out_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_GE(DataLinesIn(files[0]), 1u);
  EXPECT_EQ(ReadWholeFile(files[0]).back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(Recorder, OutputGone,
                         ::testing::Values(OutputCase{"FullDevice", RecorderProcess::Options::Output::Full, ENOSPC},
                                           OutputCase{"ReaderGone", RecorderProcess::Options::Output::ClosedPipe,
                                                      EPIPE}),
                         [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// Runs of one sensor started in the same minute share a file; the second one's summary says so.
TEST_F(RecorderEnds, SecondRunInTheSameMinuteSaysWhichRunOfTheFileItIs) {
  const auto sensor = StartSensor();
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::filesystem::remove_all(out_);
    auto first = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--count", "2", "--out", out_});
    ASSERT_EQ(RunToEnd(*first), 0) << first->Err();
    auto second = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--count", "2", "--out", out_});
    ASSERT_EQ(RunToEnd(*second), 0) << second->Err();
    const std::vector<std::string> files = FilesIn(out_);
    // A minute that turned between the two starts gives two files: once more.
    if (files.size() == 2 && attempt == 0) continue;
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(HeaderBlocksIn(files[0]), 2u);
    EXPECT_EQ(DataLinesIn(files[0]), 4u);
    EXPECT_EQ(first->Err().find("(run "), std::string::npos) << first->Err();
    EXPECT_NE(second->Err().find(" in " + files[0] + " (run 2 of that file)"), std::string::npos) << second->Err();
    return;
  }
}

// The user is not in the group that owns serial ports: the message names it, the status is its own.
TEST_F(RecorderEnds, PortWithoutPermissionNamesTheDialoutGroup) {
  const auto sensor = StartSensor();
  std::filesystem::permissions(sensor->PortDir(), std::filesystem::perms::all, std::filesystem::perm_options::add);
  std::filesystem::permissions(dir_, std::filesystem::perms::all, std::filesystem::perm_options::add);
  RecorderProcess::Options options;
  options.user = 65534;
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--out", out_}, options);
  ASSERT_EQ(RunToEnd(*recorder), 9) << recorder->Err();
  const std::vector<std::string> err = recorder->ErrLines();
  ASSERT_EQ(err.size(), 1u) << recorder->Err();
  EXPECT_EQ(err[0].rfind("quarn-record: COM7: ", 0), 0u) << err[0];
  EXPECT_NE(err[0].find(link::SystemErrorText(EACCES)), std::string::npos) << err[0];
  EXPECT_NE(err[0].find("dialout"), std::string::npos) << err[0];
  EXPECT_TRUE(FilesIn(out_).empty());
}

// Without HOME the default save folder would be /Documents/Quarn/Save: refused before the port is touched.
TEST_F(RecorderEnds, NoHomeAsksForAFolderInsteadOfUsingTheRoot) {
  const auto sensor = StartSensor();
  const bool rootHadDocuments = std::filesystem::exists("/Documents");
  RecorderProcess::Options options;
  options.environment = {"HOME=", "XDG_CONFIG_HOME="};
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--count", "1"}, options);
  ASSERT_EQ(RunToEnd(*recorder), 2) << recorder->Err();
  EXPECT_EQ(recorder->Err(),
            "quarn-record: HOME is not set, so there is no documents folder to save in: give one with --out DIR\n");
  EXPECT_EQ(std::filesystem::exists("/Documents"), rootHadDocuments);
}

}  // namespace
}  // namespace quarn::recorder
