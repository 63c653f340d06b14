#include "identify/SensorCheck.h"

#include <gtest/gtest.h>

#include <map>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "identify/tests/TestDoubles.h"
#include "link/SerialLink.h"
#include "sim/testing/SimSensor.h"

namespace quarn::identify {
namespace {

using namespace std::chrono_literals;

using testing::MemoryPortStore;
using testing::RecordingCheckView;

class SensorCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { base::SetTimeScale(0.1); }
  void TearDown() override { base::SetTimeScale(1.0); }

  std::unique_ptr<sim::SimSensor> StartSensor(std::vector<std::string> args = {}) {
    sim::SimSensor::Options options;
    options.com = 7;
    options.args = std::move(args);
    auto sensor = std::make_unique<sim::SimSensor>(options);
    portDir_ = std::make_unique<sim::ScopedPortDir>(sensor->PortDir());
    return sensor;
  }

  std::unique_ptr<sim::ScopedPortDir> portDir_;
  base::ScriptedMessageBoxes boxes_;
  RecordingCheckView view_;
  base::SensorIdentity identity_;
  MemoryPortStore remembered7_{{PortStore::Status::Found, 7}};
};

const std::vector<std::string> kIdentityArgs = {"--serial", "102345", "--firmware", "QRN-2.14",
                                                "--type",   "IR-CO2", "--range",    "0-5000"};

TEST_F(SensorCheckTest, FullAnswerFillsTheGridAndEnablesTheRun) {
  auto sensor = StartSensor(kIdentityArgs);
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);

  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(identity_.portNumber, "7");
  EXPECT_EQ(identity_.serialNumber, "102345");
  EXPECT_EQ(identity_.firmware, "QRN-2.14");
  EXPECT_EQ(identity_.typeCode, "IR-CO2");
  EXPECT_EQ(identity_.rangeCode, "0-5000");
  EXPECT_EQ(view_.rows, (std::map<std::string, std::string>{{"Port", "7"},
                                                            {"Serial Number", "102345"},
                                                            {"Firmware rev.", "QRN-2.14"},
                                                            {"TYPE CODE", "IR-CO2"},
                                                            {"RANGE CODE", "0-5000"}}));
  EXPECT_EQ(result, CheckResult::Succeeded);
  EXPECT_EQ(sensor->Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?", "#00RT?", "#00RX?"}));
  // The port is free again: the check closed it.
  EXPECT_NO_THROW(link::OpenPort("COM7", link::kEventRxFlag));
}

TEST_F(SensorCheckTest, SilentToTypeAndRangeIsStillASuccess) {
  auto sensor = StartSensor({"--silent-to", "RT?,RX?"});
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(result, CheckResult::Succeeded);
  EXPECT_EQ(view_.rows["TYPE CODE"], "");
  EXPECT_EQ(view_.rows["RANGE CODE"], "");
  EXPECT_FALSE(view_.rows["Serial Number"].empty());
}

TEST_F(SensorCheckTest, SerialButNoFirmware) {
  auto sensor = StartSensor({"--silent-to", "SREV?"});
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Make full search port ans sens"});
  EXPECT_FALSE(identity_.serialNumber.empty());
  EXPECT_TRUE(identity_.firmware.empty());
  EXPECT_EQ(result, CheckResult::Failed);
  EXPECT_TRUE(view_.rows.empty());
  EXPECT_EQ(sensor->Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?", "#00SREV?"}));
}

TEST_F(SensorCheckTest, SilentSensor) {
  auto sensor = StartSensor({"--silent"});
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Make full search port ans sens"});
  EXPECT_EQ(result, CheckResult::Failed);
  EXPECT_EQ(sensor->Received(), (std::vector<std::string>{"#00SRAL?", "#00SRAL?"}));
}

TEST_F(SensorCheckTest, NoRememberedPortChangesNothing) {
  auto sensor = StartSensor();
  MemoryPortStore empty({PortStore::Status::Missing, 0});
  identity_.portNumber = "5";  // a missing value empties it
  const CheckResult result = CheckSensor(identity_, empty, view_, boxes_);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Make full search port and sens"});
  EXPECT_EQ(identity_.portNumber, "");
  EXPECT_EQ(result, CheckResult::Unchanged);
  EXPECT_TRUE(sensor->Received().empty());
}

TEST_F(SensorCheckTest, UnreadableStoreKeepsThePreviousPort) {
  auto sensor = StartSensor();
  MemoryPortStore broken({PortStore::Status::Failed, 0});
  identity_.portNumber = "7";
  const CheckResult result = CheckSensor(identity_, broken, view_, boxes_);
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(result, CheckResult::Succeeded);
}

TEST_F(SensorCheckTest, BusyPortNamesThePortAndTheSystemText) {
  auto sensor = StartSensor();
  link::PortHandle other = link::OpenPort("COM7", link::kEventRxFlag);
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
  EXPECT_EQ(boxes_.Texts()[0], "COM7 port is busy\n\rINVALID_HANDLE_VALUE \n\rError Code: " + std::to_string(EBUSY));
  EXPECT_EQ(result, CheckResult::Failed);
}

TEST_F(SensorCheckTest, BusyPortAfterAnEarlierSuccessKeepsTheButtons) {
  auto sensor = StartSensor();
  identity_ = {"7", "102345", "QRN-2.14", "", ""};
  link::PortHandle other = link::OpenPort("COM7", link::kEventRxFlag);
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  EXPECT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(result, CheckResult::Unchanged) << "the identity is still complete";
}

TEST_F(SensorCheckTest, ReadTypeAndRangeOnAPortThatDoesNotOpen) {
  auto sensor = StartSensor();
  identity_.portNumber = "8";
  ReadTypeAndRange(identity_, view_, boxes_);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port8"});
  EXPECT_TRUE(view_.rows.empty());
}

TEST_F(SensorCheckTest, PulledOutDuringTheCheck) {
  auto sensor = StartSensor();
  sensor->Control("unplug");
  ASSERT_TRUE(sensor->WaitUnplugged(5s));
  const CheckResult result = CheckSensor(identity_, remembered7_, view_, boxes_);
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(boxes_.Texts()[0].rfind("COM7 port is busy\n\r", 0), 0u);
  EXPECT_EQ(result, CheckResult::Failed);
}

}  // namespace
}  // namespace quarn::identify
