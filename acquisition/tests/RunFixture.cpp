#include "RunFixture.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Timing.h"
#include "link/SerialPortFaults.h"

namespace quarn::acquisition::testing {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool HoldsDescriptorTo(const std::string& path) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const auto target = std::filesystem::read_symlink(entry.path(), error);
    // A node that went away shows as "<path> (deleted)".
    if (!error && target.string().rfind(path, 0) == 0) return true;
  }
  return false;
}

void AcquisitionFixture::SetUp() {
  char pattern[] = "/tmp/quarn-acq-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  base::SetTimeScale(0.05);
}

void AcquisitionFixture::TearDown() {
  link::testing::ClearFaults();
  base::SetTimeScale(1.0);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

ReaderInputs AcquisitionFixture::Inputs() const {
  ReaderInputs inputs;
  inputs.saveFolder = dir_ + "/Save/";
  inputs.portNumber = "7";
  inputs.serialNumber = "102345";
  inputs.firmware = "QRN-2.14";
  inputs.dataFilePath =
      DataFileName(inputs.saveFolder, inputs.serialNumber, inputs.firmware, {2013, 9, 5, 14, 3, 0, 0});
  return inputs;
}

std::string AcquisitionFixture::ExpectedFile(const ReaderInputs& inputs,
                                             const std::vector<std::vector<MeasurementRecord>>& runs) const {
  std::string text;
  for (const auto& records : runs) {
    text += HeaderBlock(inputs.portNumber, inputs.serialNumber, inputs.firmware);
    for (const MeasurementRecord& record : records) text += DataLine(record, regional);
  }
  return text;
}

std::vector<base::ScriptedMessageBoxes::Box> AcquisitionFixture::BoxesOtherThan(const std::string& text) const {
  std::vector<base::ScriptedMessageBoxes::Box> others;
  for (const auto& box : boxes.Boxes()) {
    if (box.text != text) others.push_back(box);
  }
  return others;
}

void RunFixture::TearDown() {
  pollingThread_.reset();
  portDir.reset();
  sensor.reset();
  AcquisitionFixture::TearDown();
}

void RunFixture::StartSensor(std::vector<std::string> args) {
  sim::SimSensor::Options options;
  options.com = 7;
  options.args = std::move(args);
  sensor = std::make_unique<sim::SimSensor>(options);
  portDir = std::make_unique<sim::ScopedPortDir>(sensor->PortDir());
}

void RunFixture::StartRun(const ReaderInputs& inputs, int32_t intervalMs) {
  pollingThread_ = std::make_unique<PollingThread>(Context(), inputs, intervalMs, "00");
  pollingThread_->Start();
}

void RunFixture::StopRun() {
  pollingThread_->RequestStop();
  ASSERT_TRUE(WaitUntil([&] { return pollingThread_->Finished(); }));
  pollingThread_->Join();
}

}  // namespace quarn::acquisition::testing
