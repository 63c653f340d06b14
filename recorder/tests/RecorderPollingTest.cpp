#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>

#include "base/testing/WaitUntil.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::recorder {
namespace {

using namespace std::chrono_literals;
using testing::RecorderProcess;
using testing::RunToEnd;
using testing::SplitLines;

constexpr const char* kIdentity =
    "Port: COM7\nSerial Number: 102345\nFirmware rev.: QRN-2.14\nTYPE CODE: IR-CO2\nRANGE CODE: 0-5000\n";

// The recorder at the fastest setting and right after it, against the simulated sensor at 9600 baud.
class RecorderPolling : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-record-polling-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/out/";
    setenv("LC_ALL", "C", 1);
    sensor_ = std::make_unique<sim::SimSensor>(sim::SimSensor::Options{});
  }
  void TearDown() override {
    sensor_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::unique_ptr<RecorderProcess> Start(std::vector<std::string> args) {
    RecorderProcess::Options options;
    options.args = std::move(args);
    options.portDir = sensor_->PortDir();
    return std::make_unique<RecorderProcess>(options);
  }

  std::vector<std::string> DataFiles() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(out_, error)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  std::string dir_;
  std::string out_;
  std::unique_ptr<sim::SimSensor> sensor_;
};

// As fast as the line allows, never two requests unanswered: the sensor loses none and answers each.
// The property holds from the first request on, so 15 s stand for a long run.
TEST_F(RecorderPolling, FastestSettingKeepsOneRequestInFlight) {
  auto recorder = Start({"--port", "7", "--interval", "0.5", "--duration", "15s", "--out", out_});
  ASSERT_EQ(RunToEnd(*recorder), 0) << recorder->Err();
  ASSERT_TRUE(base::WaitUntil([&] { return sensor_->Requests().answered == sensor_->Requests().arrived; }));
  const sim::SimSensor::RequestLog log = sensor_->Requests();
  EXPECT_EQ(log.mostPending, 1u);
  EXPECT_EQ(log.lost, 0u);
  // One record per poll, the last one's reply included.
  const std::vector<std::string> received = sensor_->Received();
  EXPECT_EQ(recorder->OutLines().size(), static_cast<size_t>(std::count(received.begin(), received.end(), "#00F")));
  EXPECT_GT(log.arrived, 100u);
  const std::vector<std::string> err = recorder->ErrLines();
  ASSERT_EQ(err.size(), 1u) << recorder->Err();
  EXPECT_NE(err[0].find(" records, 0 lost polls, "), std::string::npos) << err[0];
  std::printf("%zu records in 15 s: %.1f a second\n", log.arrived, log.arrived / 15.0);
}

// A recorder ended at the fastest setting and, at once, a new one and an --identify: each reads the
// sensor's own identity, never a frame. 20 times.
TEST_F(RecorderPolling, IdentityRightAfterAFastestRun) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    auto recorder = Start({"--port", "7", "--interval", "0.5", "--count", "5", "--out", out_, "--quiet"});
    ASSERT_EQ(RunToEnd(*recorder), 0) << recorder->Err();
    auto identify = Start({"--port", "7", "--identify"});
    ASSERT_EQ(RunToEnd(*identify), 0) << identify->Err();
    EXPECT_EQ(identify->Out(), kIdentity);
  }
  // Every recorder read the right serial number and firmware: its data file is named after them.
  const std::vector<std::string> files = DataFiles();
  EXPECT_FALSE(files.empty());
  for (const std::string& name : files) {
    EXPECT_NE(name.find("102345"), std::string::npos) << name;
    EXPECT_NE(name.find("QRN-2.14"), std::string::npos) << name;
  }
  EXPECT_EQ(sensor_->Requests().lost, 0u);
}

// A sensor that sends frames unasked all the time: no frame is taken as its identity. Its line is never
// quiet and soon holds more than a reply can be, which ends the exchange with the read box's text.
TEST_F(RecorderPolling, AStreamingSensorHasNoIdentity) {
  sensor_->Control("stream on");
  for (int round = 0; round < 3; ++round) {
    auto identify = Start({"--port", "7", "--identify"});
    const int status = RunToEnd(*identify);
    EXPECT_TRUE(status == 5 || status == 1) << status << " " << identify->Err();
    EXPECT_EQ(identify->Out(), "");
  }
}

std::string ClockNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// Seconds since midnight of "14:03:07".
int SecondsOf(const std::string& clock) {
  return std::stoi(clock.substr(0, 2)) * 3600 + std::stoi(clock.substr(3, 2)) * 60 + std::stoi(clock.substr(6, 2));
}

// 30 s of silence in an unattended run: one line when it is noticed, one when frames return, both also
// with --quiet and nothing else.
TEST_F(RecorderPolling, SilenceIsReportedEvenWhenQuiet) {
  // Without reconnecting: 30 s of silence would otherwise count as a lost sensor.
  auto recorder = Start({"--port", "7", "--interval", "0.5", "--out", out_, "--quiet", "--no-reconnect"});
  ASSERT_TRUE(base::WaitUntil([&] { return sensor_->Requests().answered >= 10; }, 30s));
  const std::string silentAt = ClockNow();
  const auto silentFrom = std::chrono::steady_clock::now();
  sensor_->Control("silent on");
  ASSERT_TRUE(base::WaitUntil([&] { return !recorder->ErrLines().empty(); }, 30s));
  const auto noticedAfter = std::chrono::steady_clock::now() - silentFrom;
  EXPECT_GE(noticedAfter, 9s) << "ten seconds without a frame first";
  const std::vector<std::string> first = recorder->ErrLines();
  ASSERT_EQ(first.size(), 1u) << recorder->Err();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(first[0], match,
                               std::regex("quarn-record: COM7: sensor 102345 silent since "
                                          "(\\d\\d:\\d\\d:\\d\\d)")))
      << first[0];
  // The last frame came just before the silence began.
  const int gap = (SecondsOf(silentAt) - SecondsOf(match[1].str()) + 86400) % 86400;
  EXPECT_LE(gap, 1) << match[1].str() << " vs " << silentAt;

  ASSERT_TRUE(base::WaitUntil([&] { return std::chrono::steady_clock::now() >= silentFrom + 30s; }, 40s));
  sensor_->Control("silent off");
  ASSERT_TRUE(base::WaitUntil([&] { return recorder->ErrLines().size() >= 2; }, 10s));
  const std::vector<std::string> second = recorder->ErrLines();
  ASSERT_EQ(second.size(), 2u) << recorder->Err();
  ASSERT_TRUE(std::regex_match(second[1], match,
                               std::regex("quarn-record: COM7: sensor 102345 answering again after (\\d+) s")))
      << second[1];
  EXPECT_GE(std::stoi(match[1].str()), 29);
  EXPECT_LE(std::stoi(match[1].str()), 32);
  recorder->Signal(SIGTERM);
  EXPECT_EQ(recorder->WaitExit(20s), 0);
  EXPECT_EQ(recorder->ErrLines().size(), 2u) << recorder->Err();
}

}  // namespace
}  // namespace quarn::recorder
