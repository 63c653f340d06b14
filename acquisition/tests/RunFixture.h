#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/MeasurementStore.h"
#include "acquisition/PollingThread.h"
#include "acquisition/ReaderThread.h"
#include "acquisition/RegionalFormat.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "base/testing/WaitUntil.h"
#include "sim/testing/SimSensor.h"

namespace quarn::acquisition::testing {

using namespace std::chrono_literals;

using base::WaitUntil;

std::string ReadWholeFile(const std::string& path);

// True while this process holds a descriptor on path (the data file, a pseudo-terminal).
bool HoldsDescriptorTo(const std::string& path);

// The failures a run's threads report, in order.
class RecordedFailures : public RunFailures {
 public:
  void Failed(RunFailure failure, const std::string&) override {
    std::lock_guard lock(mutex_);
    failures_.push_back(failure);
  }
  std::vector<RunFailure> All() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RunFailure> failures_;
};

// A fresh folder, a store, recorded boxes and a plain regional format for one test; time runs 20 times
// faster so that a one-second slice takes 50 ms.
class AcquisitionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Save folder <tmp>/Save/ (not yet created), port 7, the simulator's default identity.
  ReaderInputs Inputs() const;
  RunContext Context() { return RunContext{measurements, boxes, regional, &failures}; }
  // The file a run should leave: per run its header, then one line per record of that run.
  std::string ExpectedFile(const ReaderInputs& inputs, const std::vector<std::vector<MeasurementRecord>>& runs) const;
  std::vector<base::ScriptedMessageBoxes::Box> BoxesOtherThan(const std::string& text) const;

  std::string dir_;
  MeasurementStore measurements;
  base::ScriptedMessageBoxes boxes;
  PlainRegionalFormat regional;
  RecordedFailures failures;
};

// A run against the simulated sensor on COM7, driven through the polling thread.
class RunFixture : public AcquisitionFixture {
 protected:
  void TearDown() override;

  void StartSensor(std::vector<std::string> args = {});
  void StartRun(const ReaderInputs& inputs, int32_t intervalMs = 1000);
  // Stop as the window does it: request, then wait for the thread, whether or not it already ended.
  void StopRun();
  bool WaitForRecords(size_t count) {
    return WaitUntil([&] { return measurements.Count() >= count; });
  }

  std::unique_ptr<sim::SimSensor> sensor;
  std::unique_ptr<sim::ScopedPortDir> portDir;
  std::unique_ptr<PollingThread> pollingThread_;
};

}  // namespace quarn::acquisition::testing
