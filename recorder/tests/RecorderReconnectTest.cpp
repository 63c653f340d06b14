#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

#include "analysis/MarkerFile.h"
#include "base/testing/WaitUntil.h"
#include "link/SerialPort.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::recorder {
namespace {

using namespace std::chrono_literals;
using base::WaitUntil;
using testing::ReadWholeFile;
using testing::RecorderProcess;
using testing::SplitLines;

// Frame field 5 counts the frames the simulator sends: 1, 2, 3, ...
constexpr int kCounterField = 5;

std::string CounterControl() {
  std::string line = "field " + std::to_string(kCounterField) + " ";
  for (int i = 1; i <= 2000; ++i) line += (i > 1 ? "," : "") + std::to_string(i);
  return line;
}

// The counter of each data line ("time TAB v1 TAB ... v10 CR"); header lines have no TAB-separated values.
std::vector<int> Counters(const std::string& text, const std::string& end) {
  std::vector<int> counters;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0])) || line.find('\t') == std::string::npos)
      continue;
    EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
    size_t pos = 0;
    for (int i = 0; i < kCounterField; ++i) pos = line.find('\t', pos) + 1;
    counters.push_back(std::stoi(line.substr(pos, 5)));
  }
  return counters;
}

class RecorderReconnect : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-reconnect-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/out/";
    setenv("LC_ALL", "C", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::unique_ptr<sim::SimSensor> StartSensor() {
    auto sensor = std::make_unique<sim::SimSensor>(sim::SimSensor::Options{});
    sensor->Control(CounterControl());
    return sensor;
  }

  std::unique_ptr<RecorderProcess> StartRecorder(const sim::SimSensor& sensor, std::vector<std::string> args) {
    RecorderProcess::Options options;
    options.args = {"--port", "7", "--out", out_};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.portDir = sensor.PortDir();
    return std::make_unique<RecorderProcess>(options);
  }

  // The one data file of the run; the marker file beside it is not one.
  std::string DataFile() const {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(out_, error)) {
      const std::string path = entry.path();
      if (!path.ends_with(analysis::kMarkerFileSuffix)) files.push_back(path);
    }
    EXPECT_EQ(files.size(), 1u) << out_;
    return files.empty() ? "" : files.front();
  }

  static std::vector<std::string> Labels(const std::string& dataFile) {
    std::vector<std::string> labels;
    for (const auto& entry : analysis::ReadMarkerFile(analysis::MarkerFilePath(dataFile)).entries)
      labels.push_back(entry.label);
    return labels;
  }

  static size_t ErrLinesWith(const RecorderProcess& recorder, const std::string& part) {
    const std::vector<std::string> lines = recorder.ErrLines();
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; }));
  }

  static bool WaitErr(const RecorderProcess& recorder, const std::string& part, size_t count = 1,
                      std::chrono::milliseconds timeout = 30s) {
    return WaitUntil([&] { return ErrLinesWith(recorder, part) >= count; }, timeout);
  }

  // The file holds one header block and the frames in the order sent, none twice; at the gap at most the
  // reply that was on the wire when the cable went is missing. The output has the same frames.
  void ExpectOneRunWithoutLossOrRepeat(const RecorderProcess& recorder, size_t gaps = 1) {
    const std::string text = ReadWholeFile(DataFile());
    const std::vector<std::string> lines = SplitLines(text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Port: COM7\r"), 1) << "one header block";
    const std::vector<int> counters = Counters(text, "\r");
    ASSERT_FALSE(counters.empty());
    EXPECT_EQ(counters.front(), 1);
    size_t jumps = 0;
    for (size_t i = 1; i < counters.size(); ++i) {
      ASSERT_GT(counters[i], counters[i - 1]) << "line " << i + 1 << ": no frame twice";
      ASSERT_LE(counters[i], counters[i - 1] + 2) << "line " << i + 1 << ": at most the frame on the wire lost";
      if (counters[i] != counters[i - 1] + 1) ++jumps;
    }
    EXPECT_LE(jumps, gaps);
    EXPECT_EQ(Counters(recorder.Out(), ""), counters) << "output and file agree";
  }

  std::string dir_;
  std::string out_;
};

// Unplugged for 5 s, then plugged back: the run goes on in the same file, the gap is marked.
class UnplugFiveSeconds : public RecorderReconnect, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnplugFiveSeconds, ResumesInTheSameFileWithTheGapMarked) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", GetParam()});
  ASSERT_TRUE(recorder->WaitForOutLines(3, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_TRUE(WaitErr(*recorder, "sensor 102345 lost on COM7")) << recorder->Err();
  const size_t before = recorder->OutLines().size();
  // The cable stays out for the length the scenario asks, while the recorder keeps looking.
  std::this_thread::sleep_for(5s);
  sensor->Control("plug");
  ASSERT_TRUE(WaitErr(*recorder, "sensor 102345 back on COM7")) << recorder->Err();
  ASSERT_TRUE(recorder->WaitForOutLines(before + 3, 30s)) << recorder->Err();
  recorder->Signal(SIGTERM);
  ASSERT_EQ(recorder->WaitExit(30s), 0) << recorder->Err();

  ExpectOneRunWithoutLossOrRepeat(*recorder);
  const std::vector<std::string> labels = Labels(DataFile());
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0], "connection lost");
  const int away = std::stoi(labels[1].substr(std::string("reconnected after ").size()));
  EXPECT_EQ(labels[1], "reconnected after " + std::to_string(away) + " s");
  EXPECT_GE(away, 5);
  EXPECT_EQ(ErrLinesWith(*recorder, "Limit of attempts"), 0u) << recorder->Err();
}

INSTANTIATE_TEST_SUITE_P(Intervals, UnplugFiveSeconds, ::testing::Values("0.5", "2"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[0] == '0' ? "HalfSecond" : "TwoSeconds");
                         });

TEST_F(RecorderReconnect, FindsTheSensorUnderAnotherPortNumber) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", "1"});
  ASSERT_TRUE(recorder->WaitForOutLines(2, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_TRUE(WaitErr(*recorder, "lost on COM7")) << recorder->Err();
  const size_t before = recorder->OutLines().size();
  sensor->Control("plug 9");
  ASSERT_TRUE(WaitErr(*recorder, "sensor 102345 back on COM9")) << recorder->Err();
  ASSERT_TRUE(recorder->WaitForOutLines(before + 2, 30s)) << recorder->Err();
  recorder->Signal(SIGTERM);
  ASSERT_EQ(recorder->WaitExit(30s), 0) << recorder->Err();
  ExpectOneRunWithoutLossOrRepeat(*recorder);
  EXPECT_EQ(Labels(DataFile()).size(), 2u);
}

// Another sensor behind the port is named once and never recorded; the port is left free for others.
TEST_F(RecorderReconnect, AnotherSerialNumberDoesNotResumeTheRun) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", "1"});
  ASSERT_TRUE(recorder->WaitForOutLines(2, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_TRUE(WaitErr(*recorder, "lost on COM7")) << recorder->Err();
  const size_t before = recorder->OutLines().size();
  sensor->Control("serial 999999");
  sensor->Control("plug");
  const std::string stranger = "sensor 999999 (QRN-2.14) answered on COM7, not the run's sensor 102345 (QRN-2.14)";
  ASSERT_TRUE(WaitErr(*recorder, stranger)) << recorder->Err();
  // Two more looks at the stranger: still one line, nothing recorded.
  const size_t looked = sensor->Received().size();
  ASSERT_TRUE(WaitUntil([&] { return sensor->Received().size() >= looked + 8; }, 30s));
  EXPECT_EQ(ErrLinesWith(*recorder, stranger), 1u) << recorder->Err();
  EXPECT_EQ(recorder->OutLines().size(), before);
  const std::vector<std::string> received = sensor->Received();
  EXPECT_EQ(std::count(received.begin() + static_cast<long>(looked), received.end(), "#00F"), 0);
  // Between two looks the port is closed, so other programs may use that sensor.
  EXPECT_TRUE(WaitUntil([&] { return !link::ProbePort(sensor->PortLink()); }, 10s));

  sensor->Control("serial 102345");
  ASSERT_TRUE(WaitErr(*recorder, "sensor 102345 back on COM7")) << recorder->Err();
  ASSERT_TRUE(recorder->WaitForOutLines(before + 2, 30s)) << recorder->Err();
  recorder->Signal(SIGTERM);
  ASSERT_EQ(recorder->WaitExit(30s), 0) << recorder->Err();
  EXPECT_EQ(ErrLinesWith(*recorder, stranger), 1u) << recorder->Err();
  ExpectOneRunWithoutLossOrRepeat(*recorder);
}

TEST_F(RecorderReconnect, TimeoutEndsWithTheStatusOfAPulledOutConverter) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", "1", "--reconnect-timeout", "10s"});
  ASSERT_TRUE(recorder->WaitForOutLines(2, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_EQ(recorder->WaitExit(60s), 6) << recorder->Err();
  EXPECT_EQ(ErrLinesWith(*recorder,
                         "quarn-record: COM7: Limit of attempts to send commands on port (sensor 102345 "
                         "not back within 10 s)"),
            1u)
      << recorder->Err();
  ExpectOneRunWithoutLossOrRepeat(*recorder, 0);
  EXPECT_EQ(Labels(DataFile()), std::vector<std::string>{"connection lost"});
}

TEST_F(RecorderReconnect, StopWhileWaitingEndsAtOnceWithTheFileComplete) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", "0.5"});
  ASSERT_TRUE(recorder->WaitForOutLines(3, 30s)) << recorder->Err();
  sensor->Control("unplug");
  ASSERT_TRUE(WaitErr(*recorder, "lost on COM7")) << recorder->Err();
  recorder->Signal(SIGTERM);
  ASSERT_EQ(recorder->WaitExit(10s), 0) << recorder->Err();
  ExpectOneRunWithoutLossOrRepeat(*recorder, 0);
  EXPECT_EQ(Labels(DataFile()), std::vector<std::string>{"connection lost"});
}

// A sensor that stops answering on a port that stays open (restarting, say) is looked for the same way.
TEST_F(RecorderReconnect, SilentSensorOnAnOpenPortIsAwaitedAndResumes) {
  const auto sensor = StartSensor();
  auto recorder = StartRecorder(*sensor, {"--interval", "1"});
  ASSERT_TRUE(recorder->WaitForOutLines(2, 30s)) << recorder->Err();
  sensor->Control("silent on");
  ASSERT_TRUE(WaitErr(*recorder, "lost on COM7", 1, 60s)) << recorder->Err();
  EXPECT_EQ(ErrLinesWith(*recorder, "(no frame for 30 s)"), 1u) << recorder->Err();
  const size_t before = recorder->OutLines().size();
  sensor->Control("silent off");
  ASSERT_TRUE(WaitErr(*recorder, "back on COM7")) << recorder->Err();
  ASSERT_TRUE(recorder->WaitForOutLines(before + 2, 30s)) << recorder->Err();
  recorder->Signal(SIGTERM);
  ASSERT_EQ(recorder->WaitExit(30s), 0) << recorder->Err();
  ExpectOneRunWithoutLossOrRepeat(*recorder);
  EXPECT_EQ(Labels(DataFile()).size(), 2u);
}

}  // namespace
}  // namespace quarn::recorder
