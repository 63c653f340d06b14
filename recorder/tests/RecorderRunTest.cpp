#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
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

constexpr const char* kSerial = "102345";
constexpr const char* kFirmware = "QRN-2.14";
// Frame field 5 counts the frames the simulator sends: 1, 2, 3, ... (the last value would repeat).
constexpr int kCounterField = 5;
constexpr int kCounterValues = 600;
// At 0.5 s the requests come back to back and the sensor's 256-byte input buffer is full when a run ends:
// it answers the five-byte requests it still holds after the recorder has stopped reading.
constexpr size_t kRequestsHeldAtTheEnd = 256 / 5;

std::string CounterControl() {
  std::string line = "field " + std::to_string(kCounterField) + " ";
  for (int i = 1; i <= kCounterValues; ++i) line += (i > 1 ? "," : "") + std::to_string(i);
  return line;
}

struct DataLine {
  std::string time;
  std::array<uint16_t, 10> values{};
};

// The lines of a data file after its header block; a line that does not parse fails the test.
std::vector<DataLine> ParseLines(const std::vector<std::string>& lines, const std::string& end) {
  std::vector<DataLine> parsed;
  for (std::string line : lines) {
    EXPECT_GE(line.size(), end.size());
    EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
    line.resize(line.size() - end.size());
    DataLine data;
    size_t pos = line.find('\t');
    data.time = line.substr(0, pos);
    for (int i = 0; i < 10; ++i) {
      EXPECT_NE(pos, std::string::npos) << line;
      if (pos == std::string::npos) break;
      const size_t next = line.find('\t', pos + 1);
      const std::string field = line.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
      EXPECT_EQ(field.size(), 5u) << line;
      data.values[i] = static_cast<uint16_t>(std::stoul(field));
      pos = next;
    }
    EXPECT_EQ(pos, std::string::npos) << "ten values, no more: " << line;
    parsed.push_back(data);
  }
  return parsed;
}

// ISO 8601, as the recorder writes it under LC_ALL=C.
acquisition::LocalDateTime ParseTime(const std::string& text) {
  acquisition::LocalDateTime when;
  const int fields = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &when.year, &when.month, &when.day, &when.hour,
                                 &when.minute, &when.second);
  EXPECT_TRUE(fields == 6 || fields == 3) << text;
  return when;
}

// The header block, as the window's reader writes it.
std::string Header() { return acquisition::HeaderBlock("7", kSerial, kFirmware); }

class RecorderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-record-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/out/";
    setenv("LC_ALL", "C", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::unique_ptr<sim::SimSensor> StartSensor(int com = 7, std::vector<std::string> args = {},
                                              std::string portDir = {}) {
    sim::SimSensor::Options options;
    options.com = com;
    options.args = std::move(args);
    options.portDir = std::move(portDir);
    return std::make_unique<sim::SimSensor>(options);
  }

  std::unique_ptr<RecorderProcess> StartRecorder(const sim::SimSensor& sensor, std::vector<std::string> args,
                                                 std::optional<long> fileSizeLimit = std::nullopt) {
    RecorderProcess::Options options;
    options.args = std::move(args);
    options.portDir = sensor.PortDir();
    options.fileSizeLimit = fileSizeLimit;
    return std::make_unique<RecorderProcess>(options);
  }

  // The one data file in folder; fails the test when there is none or more.
  static std::string DataFileIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) files.push_back(entry.path());
    EXPECT_EQ(files.size(), 1u) << folder;
    return files.empty() ? "" : files.front();
  }

  // The file's data lines, after checking that it opens with the header block.
  static std::vector<DataLine> FileLines(const std::string& path) {
    const std::string text = ReadWholeFile(path);
    EXPECT_EQ(text.substr(0, Header().size()), Header());
    std::vector<std::string> lines = SplitLines(text.substr(std::min(text.size(), Header().size())));
    for (std::string& line : lines) line += '\n';
    return ParseLines(lines, "\r\n");
  }

  static std::vector<DataLine> OutputLines(const RecorderProcess& recorder) {
    std::vector<std::string> lines = recorder.OutLines();
    for (std::string& line : lines) line += '\n';
    return ParseLines(lines, "\n");
  }

  // Every frame counted 1, 2, 3 ... with no gap and none twice.
  static void ExpectNoGap(const std::vector<DataLine>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
      ASSERT_EQ(lines[i].values[kCounterField - 1], i + 1) << "line " << i + 1 << " of " << lines.size();
  }

  static size_t PollsAnswered(const sim::SimSensor& sensor) {
    const std::vector<std::string> received = sensor.Received();
    return static_cast<size_t>(std::count(received.begin(), received.end(), "#00F"));
  }

  std::string dir_;
  std::string out_;
};

TEST_F(RecorderRun, IdentifyPrintsTheFiveRowsAndReleasesThePort) {
  const auto sensor = StartSensor();
  for (const char* port : {"7", "COM7"}) {
    auto recorder = StartRecorder(*sensor, {"--port", port, "--identify"});
    EXPECT_EQ(RunToEnd(*recorder), 0);
    EXPECT_EQ(recorder->Out(),
              "Port: COM7\nSerial Number: 102345\nFirmware rev.: QRN-2.14\nTYPE CODE: IR-CO2\nRANGE CODE: "
              "0-5000\n");
    EXPECT_EQ(recorder->Err(), "");
    EXPECT_FALSE(link::ProbePort(sensor->PortLink())) << "the port is free again";
  }
}

TEST_F(RecorderRun, SerialNumberFindsItsPortAmongOthers) {
  const auto first = StartSensor(3, {"--serial", "111111"});
  const auto second = StartSensor(5, {"--serial", "222222", "--firmware", "QRN-3.0"}, first->PortDir());
  auto recorder = StartRecorder(*first, {"--serial", "222222", "--identify"});
  EXPECT_EQ(RunToEnd(*recorder), 0);
  EXPECT_EQ(SplitLines(recorder->Out()).at(0), "Port: COM5");
  EXPECT_EQ(SplitLines(recorder->Out()).at(2), "Firmware rev.: QRN-3.0");

  auto missing = StartRecorder(*first, {"--serial", "333333", "--identify"});
  EXPECT_EQ(RunToEnd(*missing), 3);
  EXPECT_EQ(missing->Err(), "quarn-record: no sensor with serial number 333333 answers on a free port\n");
}

// The file the window's reader would write for these frames: its header, then per frame the window's data
// line, built by the window's own functions from the time and the values read back.
TEST_F(RecorderRun, CountRunWritesTheWindowsFileAndPrintsItsRecords) {
  const auto sensor = StartSensor();
  sensor->Control(CounterControl());
  const acquisition::LocalDateTime before = acquisition::CurrentLocalDateTime();
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--count", "4", "--out", out_});
  ASSERT_EQ(RunToEnd(*recorder), 0) << recorder->Err();
  const acquisition::LocalDateTime after = acquisition::CurrentLocalDateTime();

  const std::string path = DataFileIn(out_);
  const std::string beforeName = acquisition::DataFileName(out_, kSerial, kFirmware, before);
  const std::string afterName = acquisition::DataFileName(out_, kSerial, kFirmware, after);
  EXPECT_TRUE(path == beforeName || path == afterName) << path;

  const std::vector<DataLine> lines = FileLines(path);
  ASSERT_GE(lines.size(), 4u);
  ExpectNoGap(lines);
  const acquisition::SystemRegionalFormat regional;
  std::string expected = Header();
  for (const DataLine& line : lines) {
    const acquisition::LocalDateTime when = ParseTime(line.time);
    EXPECT_LE(acquisition::EncodeDayNumber(before) - 1.0 / 86400, acquisition::EncodeDayNumber(when));
    EXPECT_LE(acquisition::EncodeDayNumber(when), acquisition::EncodeDayNumber(after));
    const auto& v = line.values;
    expected += acquisition::DataLine(
        {acquisition::EncodeDayNumber(when), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]}, regional);
  }
  EXPECT_EQ(ReadWholeFile(path), expected);

  // Standard output holds the same records; the summary names the file.
  const std::vector<DataLine> printed = OutputLines(*recorder);
  ASSERT_EQ(printed.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(printed[i].time, lines[i].time);
    EXPECT_EQ(printed[i].values, lines[i].values);
  }
  const std::vector<std::string> err = recorder->ErrLines();
  ASSERT_EQ(err.size(), 1u) << recorder->Err();
  EXPECT_EQ(err[0].rfind("quarn-record: COM7: after 0h00m: " + std::to_string(lines.size()) + " records, ", 0), 0u)
      << err[0];
  EXPECT_NE(err[0].find(" in " + path), std::string::npos) << err[0];
}

class StopSignal : public RecorderRun, public ::testing::WithParamInterface<int> {};

// The signal comes at a moment the test does not choose against the reader's work; every frame the sensor
// had finished by then is in the file. One reply may still be on the line at the signal.
TEST_P(StopSignal, EndsTheRunLikeStopAndKeepsEveryFrameSentBeforeIt) {
  const auto sensor = StartSensor();
  sensor->Control(CounterControl());
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "0.5", "--out", out_});
  ASSERT_TRUE(recorder->WaitForOutLines(6, 30s)) << recorder->Err();
  const size_t answered = PollsAnswered(*sensor);
  recorder->Signal(GetParam());
  ASSERT_EQ(recorder->WaitExit(20s), 0) << recorder->Err();

  const std::vector<DataLine> lines = FileLines(DataFileIn(out_));
  ExpectNoGap(lines);
  EXPECT_GE(lines.size() + 1, answered);
  EXPECT_LE(lines.size(), PollsAnswered(*sensor));
  EXPECT_EQ(OutputLines(*recorder).size(), lines.size());
  for (const std::string& line : recorder->ErrLines())
    EXPECT_EQ(line.rfind("quarn-record: COM7: after ", 0), 0u) << "only the summary: " << line;
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

TEST_F(RecorderRun, PulledOutConverterWithoutReconnectEndsWithItsMessageAndKeepsTheFile) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--out", out_, "--no-reconnect"});
  ASSERT_TRUE(recorder->WaitForOutLines(2, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_EQ(recorder->WaitExit(30s), 6) << recorder->Err();

  std::vector<std::string> failures;
  for (const std::string& line : recorder->ErrLines()) {
    if (line.rfind("quarn-record: COM7: after ", 0) == 0) continue;
    // A read cut off by the unplugging may say so first.
    if (line.rfind("quarn-record: COM7: warning: Error reading from port COM7", 0) == 0) continue;
    failures.push_back(line);
  }
  EXPECT_EQ(failures, std::vector<std::string>{"quarn-record: COM7: Limit of attempts to send commands on port "
                                               "(ten sends in a row failed: was the converter pulled out?)"});
  const std::vector<DataLine> lines = FileLines(DataFileIn(out_));
  EXPECT_GE(lines.size(), 2u);
  EXPECT_EQ(OutputLines(*recorder).size(), lines.size());
}

// Two recorders on one port: the second fails at once and the first goes on undisturbed.
TEST_F(RecorderRun, SecondRecorderOnTheSamePortFailsAtOnceWithBusy) {
  const auto sensor = StartSensor();
  sensor->Control(CounterControl());
  auto first = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--out", out_});
  ASSERT_TRUE(first->WaitForOutLines(1, 30s)) << first->Err();

  auto second = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--out", dir_ + "/second"});
  ASSERT_EQ(second->WaitExit(5s), 4);
  EXPECT_EQ(second->Err(), "quarn-record: COM7 port is busy (" + sensor->PortLink() + ")\n");
  EXPECT_EQ(second->Out(), "");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/second"));

  const size_t seen = first->OutLines().size();
  ASSERT_TRUE(first->WaitForOutLines(seen + 2, 30s));
  first->Signal(SIGTERM);
  ASSERT_EQ(first->WaitExit(20s), 0);
  ExpectNoGap(FileLines(DataFileIn(out_)));
}

struct StartFailure {
  const char* name;
  std::vector<std::string> simArgs;
  std::vector<std::string> args;  // after --port
  int status;
  std::string error;  // "<dir>" stands for the test's folder, "<port>" for the sensor's link
};

void PrintTo(const StartFailure& failure, std::ostream* out) { *out << failure.name; }

class StartFailures : public RecorderRun, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailures, EndWithTheirStatusAndOneLine) {
  const StartFailure& failure = GetParam();
  const auto sensor = StartSensor(7, failure.simArgs);
  std::ofstream(dir_ + "/file") << "in the way";
  std::vector<std::string> args = failure.args;
  for (std::string& arg : args) {
    if (arg.rfind("<dir>", 0) == 0) arg = dir_ + arg.substr(5);
  }
  auto recorder = StartRecorder(*sensor, args);
  ASSERT_EQ(RunToEnd(*recorder), failure.status) << recorder->Err();
  std::string error = failure.error;
  for (const auto& [mark, text] : {std::pair<std::string, std::string>{"<dir>", dir_}, {"<port>", sensor->PortDir()}}) {
    if (const size_t at = error.find(mark); at != std::string::npos) error.replace(at, mark.size(), text);
  }
  EXPECT_EQ(recorder->Err(), error + "\n");
  EXPECT_EQ(recorder->Out(), "");
  EXPECT_EQ(PollsAnswered(*sensor), 0u) << "nothing was polled";
}

INSTANTIATE_TEST_SUITE_P(
    Recorder, StartFailures,
    ::testing::Values(
        StartFailure{
            "PortAbsent", {}, {"--port", "9"}, 3, "quarn-record: COM9: <port>/COM9: " + link::SystemErrorText(ENOENT)},
        StartFailure{"SensorSilent",
                     {"--silent"},
                     {"--port", "7"},
                     5,
                     "quarn-record: COM7: the sensor does not answer (no serial number)"},
        StartFailure{"SaveFolderNotWritable",
                     {},
                     {"--port", "7", "--out", "<dir>/file/Save"},
                     7,
                     "quarn-record: COM7: the save folder <dir>/file/Save/ cannot be created: " +
                         std::make_error_code(std::errc::not_a_directory).message()}),
    [](const ::testing::TestParamInfo<StartFailure>& info) { return std::string(info.param.name); });

// A full disk: at once (/dev/full), or after a few lines (a file size limit). The file keeps every whole
// line written before; the failure is one line and the exit status says it.
TEST_F(RecorderRun, FullDiskEndsTheRunAndTheFileKeepsEveryLineBefore) {
  const auto sensor = StartSensor();
  sensor->Control(CounterControl());
  constexpr long kLimit = 600;
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "0.5", "--out", out_}, kLimit);
  ASSERT_EQ(RunToEnd(*recorder), 8) << recorder->Err();
  const std::string path = DataFileIn(out_);
  const std::string text = ReadWholeFile(path);
  EXPECT_LE(text.size(), static_cast<size_t>(kLimit));
  EXPECT_EQ(text.back(), '\n') << "no part of a line";
  const std::vector<DataLine> lines = FileLines(path);
  EXPECT_GE(lines.size(), 3u);
  ExpectNoGap(lines);
  const std::vector<std::string> err = recorder->ErrLines();
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err[0], "quarn-record: COM7: Error writing to file: " + link::SystemErrorText(EFBIG));
  for (size_t i = 1; i < err.size(); ++i) EXPECT_EQ(err[i].rfind("quarn-record: COM7: after ", 0), 0u) << err[i];
}

TEST_F(RecorderRun, FullDeviceEndsTheRunAtTheHeader) {
  const auto sensor = StartSensor();
  std::filesystem::create_directories(out_);
  // The name carries the minute of the start; both candidates lead to the full device.
  const acquisition::LocalDateTime now = acquisition::CurrentLocalDateTime();
  acquisition::LocalDateTime next = acquisition::DecodeDayNumber(acquisition::EncodeDayNumber(now) + 60.0 / 86400);
  for (const auto& when : {now, next})
    std::filesystem::create_symlink("/dev/full", acquisition::DataFileName(out_, kSerial, kFirmware, when));
  auto recorder = StartRecorder(*sensor, {"--port", "7", "--interval", "1", "--out", out_, "--quiet"});
  ASSERT_EQ(RunToEnd(*recorder), 8);
  EXPECT_EQ(recorder->Err(), "quarn-record: COM7: Error writing to file: " + link::SystemErrorText(ENOSPC) + "\n");
}

// Eight sensors, eight recorders at the shortest interval, all at once: each file holds every frame its
// sensor sent from the first on, without a gap; what the sensor answered after the run ended is not in it.
TEST_F(RecorderRun, EightRecordersOnEightSensorsKeepEveryRecord) {
  constexpr int kSensors = 8;
  std::vector<std::unique_ptr<sim::SimSensor>> sensors;
  std::vector<std::unique_ptr<RecorderProcess>> recorders;
  for (int i = 0; i < kSensors; ++i) {
    sensors.push_back(StartSensor(i + 1, {"--serial", std::to_string(200001 + i)}));
    sensors.back()->Control(CounterControl());
  }
  // At 1 s, not 0.5 s: at 0.5 s the line runs back to back, and when a loaded machine holds the pseudo-terminals
  // back for over a second, more than 1023 bytes wait and the reader purges them, as it must.
  for (int i = 0; i < kSensors; ++i) {
    recorders.push_back(StartRecorder(*sensors[i], {"--port", std::to_string(i + 1), "--interval", "1", "--duration",
                                                    "12s", "--quiet", "--out", out_ + std::to_string(i + 1)}));
  }
  for (int i = 0; i < kSensors; ++i) {
    SCOPED_TRACE("sensor " + std::to_string(i + 1));
    ASSERT_EQ(RunToEnd(*recorders[i]), 0) << recorders[i]->Err();
    EXPECT_EQ(recorders[i]->Out(), "");
    EXPECT_EQ(recorders[i]->Err(), "");
    const std::string path = DataFileIn(out_ + std::to_string(i + 1));
    const std::string text = ReadWholeFile(path);
    const std::string header = acquisition::HeaderBlock(std::to_string(i + 1), std::to_string(200001 + i), kFirmware);
    ASSERT_EQ(text.substr(0, header.size()), header);
    std::vector<std::string> raw = SplitLines(text.substr(header.size()));
    for (std::string& line : raw) line += '\n';
    const std::vector<DataLine> lines = ParseLines(raw, "\r\n");
    ExpectNoGap(lines);
    const size_t sent = PollsAnswered(*sensors[i]);
    EXPECT_GE(lines.size() + 1 + kRequestsHeldAtTheEnd, sent);
    EXPECT_LE(lines.size(), sent);
    EXPECT_GE(lines.size(), 10u) << "twelve seconds at one second";
  }
}

}  // namespace
}  // namespace quarn::recorder
