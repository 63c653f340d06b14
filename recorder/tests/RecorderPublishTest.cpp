#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "base/testing/WaitUntil.h"
#include "datafile/DateReading.h"
#include "publish/Cursor.h"
#include "publish/FileRecords.h"
#include "publish/testing/Mosquitto.h"
#include "recorder/tests/RecorderProcess.h"
#include "sim/testing/SimSensor.h"

namespace quarn::recorder {
namespace {

using namespace std::chrono_literals;
using base::WaitUntil;
using publish::testing::MosquittoBroker;
using publish::testing::RecordCollector;
using testing::RecorderProcess;
using testing::RunToEnd;

constexpr const char* kPrefix = "lab/rack1";

// Recorders on simulated sensors at the fastest setting, a broker and a subscriber of the test's own.
class RecorderPublish : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-publish-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/out/";
    std::filesystem::create_directories(dir_ + "/broker");
    std::filesystem::create_directories(dir_ + "/ports");
  }
  void TearDown() override {
    recorders_.clear();
    sensors_.clear();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void StartBroker(bool tls = false) {
    std::optional<publish::testing::TestCertificate> certificate;
    if (tls) certificate = publish::testing::MakeTestCertificate(dir_, "broker");
    broker_ = std::make_unique<MosquittoBroker>(dir_ + "/broker", certificate);
    broker_->Start();
    collector_ = std::make_unique<RecordCollector>(broker_->Port(), kPrefix);
  }

  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(broker_->Port()) + "/" + kPrefix; }

  sim::SimSensor& StartSensor(int com, const std::string& serial) {
    sim::SimSensor::Options options;
    options.com = com;
    options.args = {"--serial", serial};
    options.portDir = dir_ + "/ports";
    sensors_.push_back(std::make_unique<sim::SimSensor>(options));
    return *sensors_.back();
  }

  RecorderProcess& StartRecorder(int com, std::vector<std::string> args) {
    RecorderProcess::Options options;
    options.args = {"--port", std::to_string(com), "--interval", "0.5", "--out", out_, "--quiet"};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.portDir = dir_ + "/ports";
    recorders_.push_back(std::make_unique<RecorderProcess>(options));
    return *recorders_.back();
  }

  // Every record of every data file in the save folder, named as it goes out.
  std::vector<RecordCollector::Key> RecordsInFiles(const std::string& serial) const {
    std::vector<RecordCollector::Key> keys;
    for (const std::string& file : publish::SensorDataFiles(out_, serial)) {
      publish::ReadRecordsAfter(file, 0, datafile::DateOrder::YearMonthDay, [&](const publish::NumberedRecord& r) {
        keys.emplace_back(serial, r.run, r.seq);
        return true;
      });
    }
    return keys;
  }

  // How many of the files' records the subscriber has not seen (at least) times.
  size_t Missing(const std::string& serial, int times = 1) const {
    const auto received = collector_->Records();
    size_t missing = 0;
    for (const auto& key : RecordsInFiles(serial)) {
      const auto found = received.find(key);
      missing += found == received.end() || found->second < times;
    }
    return missing;
  }

  size_t LinesIn(const std::string& serial) const { return RecordsInFiles(serial).size(); }

  std::string dir_;
  std::string out_;
  std::vector<std::unique_ptr<sim::SimSensor>> sensors_;
  std::vector<std::unique_ptr<RecorderProcess>> recorders_;
  std::unique_ptr<MosquittoBroker> broker_;
  std::unique_ptr<RecordCollector> collector_;
};

// Three recorders publish; the broker goes away for 20 s and comes back: every record of every file arrives.
TEST_F(RecorderPublish, ThreeRecordersLoseNothingWhileTheBrokerIsAway) {
  StartBroker();
  const std::vector<std::string> serials = {"111111", "222222", "333333"};
  for (int i = 0; i < 3; ++i) StartSensor(3 + i, serials[i]);
  for (int i = 0; i < 3; ++i) StartRecorder(3 + i, {"--publish", Url()});
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& serial : serials) {
          if (collector_->RecordsFrom(serial) < 20) return false;
        }
        return true;
      },
      30s));
  for (const auto& serial : serials) {
    EXPECT_NE(publish::testing::JsonField(collector_->Last(serial, "identity"), "firmware"), "") << serial;
    EXPECT_EQ(collector_->Last(serial, "status"), "online") << serial;
  }

  broker_->Stop();
  const auto stoppedAt = std::chrono::steady_clock::now();
  std::vector<size_t> linesAtStop;
  for (const auto& serial : serials) linesAtStop.push_back(LinesIn(serial));
  // The recorders go on recording and say that the broker is gone.
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (const auto& recorder : recorders_) {
          if (recorder->Err().find("publish: lost the broker") == std::string::npos) return false;
        }
        return std::chrono::steady_clock::now() - stoppedAt >= 20s;
      },
      40s))
      << recorders_.front()->Err();
  for (size_t i = 0; i < serials.size(); ++i) EXPECT_GT(LinesIn(serials[i]), linesAtStop[i] + 100) << serials[i];

  broker_->Start();
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& serial : serials) {
          if (Missing(serial) > 40) return false;
        }
        return true;
      },
      60s));
  for (const auto& recorder : recorders_) recorder->Signal(SIGTERM);
  for (const auto& recorder : recorders_) EXPECT_EQ(RunToEnd(*recorder), 0) << recorder->Err();
  for (const auto& serial : serials) {
    EXPECT_TRUE(WaitUntil([&] { return Missing(serial) == 0; }, 30s)) << serial << ": " << Missing(serial);
    EXPECT_TRUE(WaitUntil([&] { return collector_->Last(serial, "status") == "stopped"; }, 10s)) << serial;
    const std::string file = publish::SensorDataFiles(out_, serial).back();
    EXPECT_EQ(publish::ReadCursor(publish::CursorPath(file)), LinesIn(serial)) << file;
  }
}

// Killed while the broker is away and started again: the earlier file's unpublished records go out; a
// damaged cursor then means its records go out again rather than never.
TEST_F(RecorderPublish, ARestartedRecorderPublishesTheRestOfEarlierFiles) {
  StartBroker();
  const std::string serial = "444444";
  StartSensor(6, serial);
  RecorderProcess& first = StartRecorder(6, {"--publish", Url()});
  ASSERT_TRUE(WaitUntil([&] { return collector_->RecordsFrom(serial) >= 10; }, 30s));
  broker_->Stop();
  const size_t linesAtStop = LinesIn(serial);
  ASSERT_TRUE(WaitUntil([&] { return LinesIn(serial) >= linesAtStop + 60; }, 30s));
  first.Signal(SIGKILL);
  EXPECT_EQ(RunToEnd(first), 128 + SIGKILL);
  const std::string earlier = publish::SensorDataFiles(out_, serial).back();
  EXPECT_GT(LinesIn(serial) - collector_->RecordsFrom(serial), 50u);
  EXPECT_LT(publish::ReadCursor(publish::CursorPath(earlier)), linesAtStop + 1);

  // As after a reboot: the sensor's port is opened afresh (a killed opener leaves a pseudo-terminal marked
  // exclusive while the simulator holds it).
  sensors_.clear();
  StartSensor(6, serial);
  broker_->Start();
  RecorderProcess& second = StartRecorder(6, {"--publish", Url(), "--count", "10"});
  EXPECT_EQ(RunToEnd(second), 0) << second.Err();
  EXPECT_TRUE(WaitUntil([&] { return Missing(serial) == 0; }, 30s)) << Missing(serial);
  for (const std::string& file : publish::SensorDataFiles(out_, serial))
    EXPECT_EQ(publish::ReadCursor(publish::CursorPath(file)),
              publish::ReadRecordsAfter(file, ~0ull, datafile::DateOrder::YearMonthDay, [](auto&) { return false; }))
        << file;

  // One cursor lost, one damaged: their files' records all arrive a second time.
  const std::vector<std::string> files = publish::SensorDataFiles(out_, serial);
  std::filesystem::remove(publish::CursorPath(files.front()));
  if (files.size() > 1) std::ofstream(publish::CursorPath(files.back()), std::ios::trunc) << "12a\n";
  RecorderProcess& third = StartRecorder(6, {"--publish", Url(), "--count", "2"});
  EXPECT_EQ(RunToEnd(third), 0) << third.Err();
  EXPECT_TRUE(WaitUntil([&] { return Missing(serial, 2) <= 2; }, 30s)) << Missing(serial, 2);
}

// Over TLS with the test's authority records arrive; with another authority the handshake is refused,
// nothing is published and the recorder says why, while it goes on recording.
TEST_F(RecorderPublish, TlsPublishesOnlyToATrustedBroker) {
  StartBroker(true);
  const auto stranger = publish::testing::MakeTestCertificate(dir_, "stranger");
  const std::string url = "mqtts://localhost:" + std::to_string(broker_->TlsPort()) + "/" + kPrefix;
  StartSensor(7, "555555");
  StartSensor(8, "666666");
  RecorderProcess& trusted =
      StartRecorder(7, {"--publish", url, "--publish-ca", dir_ + "/broker.pem", "--count", "20"});
  RecorderProcess& refused =
      StartRecorder(8, {"--publish", url, "--publish-ca", stranger.certificate.string(), "--count", "20"});
  EXPECT_EQ(RunToEnd(trusted), 0) << trusted.Err();
  EXPECT_EQ(RunToEnd(refused), 0) << refused.Err();
  EXPECT_TRUE(WaitUntil([&] { return Missing("555555") == 0; }, 20s));
  EXPECT_EQ(LinesIn("666666"), 20u);
  EXPECT_EQ(collector_->RecordsFrom("666666"), 0u);
  EXPECT_EQ(collector_->Last("666666", "status"), "");
  EXPECT_NE(refused.Err().find("publish: cannot connect to mqtts://localhost:"), std::string::npos) << refused.Err();
  EXPECT_NE(refused.Err().find("certificate verify failed"), std::string::npos) << refused.Err();
}

}  // namespace
}  // namespace quarn::recorder
