#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "acquisition/PollingThread.h"
#include "acquisition/tests/RunFixture.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"
#include "link/SerialPortFaults.h"

namespace quarn::acquisition {
namespace {

using namespace std::chrono_literals;

using namespace testing;
using Box = base::ScriptedMessageBoxes::Box;

constexpr const char* kLimit = "Limit of attempts to send commands on port";

class RunFaults : public testing::RunFixture {};

// The converter is pulled out: sends fail, the run ends on its own and keeps what it had recorded.
TEST_F(RunFaults, UnpluggedConverterEndsTheRunAndKeepsItsRecords) {
  StartSensor();
  const std::string pts = sensor->PtsPath();
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(3));
  ASSERT_TRUE(HoldsDescriptorTo(pts));

  sensor->Control("unplug");
  ASSERT_TRUE(sensor->WaitUnplugged(10s));
  ASSERT_TRUE(WaitUntil([&] { return pollingThread_->Finished(); }));

  EXPECT_EQ(boxes.Boxes().back(), (Box{base::BoxKind::Error, base::BoxButtons::Ok, kLimit, true}));
  EXPECT_EQ(failures.All(), std::vector<RunFailure>{RunFailure::ConverterGone});
  // A read cut off by the unplugging may add its warning; nothing else may appear.
  for (const Box& box : BoxesOtherThan(kLimit)) {
    EXPECT_EQ(box.kind, base::BoxKind::Warning);
    EXPECT_EQ(box.text.rfind("Error reading from port COM7 a stream reader :", 0), 0u) << box.text;
  }
  EXPECT_FALSE(HoldsDescriptorTo(pts)) << "the port is closed";
  EXPECT_FALSE(HoldsDescriptorTo(inputs.dataFilePath)) << "the file is closed";
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
  EXPECT_GE(measurements.Count(), 3u);

  // Stop still works on the thread that has already ended.
  StopRun();
  EXPECT_EQ(boxes.Boxes().back().text, kLimit);
}

// Sends fail in runs of nine, each followed by one that goes through: the count starts afresh at every
// success, so the run never ends. Ten in a row then end it.
TEST_F(RunFaults, OnlyTenFailedSendsInARowEndTheRun) {
  StartSensor();
  StartRun(Inputs());
  ASSERT_TRUE(WaitForRecords(1));
  const std::string device = link::DevicePathForPort("COM7");
  const std::error_code refused(EIO, std::system_category());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    link::testing::FailNextWrites(device, kMaxFailedSends - 1, refused);
    ASSERT_TRUE(WaitUntil([&] { return link::testing::PendingWriteFailures(device) == 0; }));
    // Sends are one after the other: a success counted from here on came after the nine failures.
    const uint64_t sent = pollingThread_->SentRequests();
    ASSERT_TRUE(WaitUntil([&] { return pollingThread_->SentRequests() > sent; }));
  }
  EXPECT_FALSE(pollingThread_->Finished());
  EXPECT_TRUE(boxes.Boxes().empty());

  link::testing::FailNextWrites(device, kMaxFailedSends, refused);
  ASSERT_TRUE(WaitUntil([&] { return pollingThread_->Finished(); }));
  EXPECT_EQ(link::testing::PendingWriteFailures(device), 0);
  EXPECT_EQ(boxes.Boxes(), (std::vector<Box>{{base::BoxKind::Error, base::BoxButtons::Ok, kLimit, true}}));
  EXPECT_EQ(failures.All(), std::vector<RunFailure>{RunFailure::ConverterGone});
  StopRun();
  EXPECT_EQ(ReadWholeFile(Inputs().dataFilePath), ExpectedFile(Inputs(), {measurements.ReadFrom(0)}));
}

struct LineFault {
  const char* name;
  std::vector<std::string> args;
  bool recorded;  // whether the sensor's frames become records
  int32_t intervalMs = 1000;
};

void PrintTo(const LineFault& fault, std::ostream* out) { *out << fault.name; }

class LineFaults : public testing::RunFixture, public ::testing::WithParamInterface<LineFault> {};

TEST_P(LineFaults, OnlyCompleteFramesWithTenValuesAreRecorded) {
  const LineFault& fault = GetParam();
  StartSensor(fault.args);
  const ReaderInputs inputs = Inputs();
  StartRun(inputs, fault.intervalMs);
  if (fault.recorded) {
    ASSERT_TRUE(WaitForRecords(3));
  } else {
    // Frames for at least the first requests have arrived and been read by then.
    ASSERT_TRUE(sensor->WaitReceived(5, 20s));
  }
  StopRun();
  const std::vector<MeasurementRecord> records = measurements.ReadFrom(0);
  EXPECT_EQ(records.empty(), !fault.recorded);
  for (const MeasurementRecord& r : records) EXPECT_GT(r.S, 1000) << "values come from the right fields";
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(failures.All().empty());
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {records}));
}

INSTANTIATE_TEST_SUITE_P(Sensor, LineFaults,
                         ::testing::Values(LineFault{"NoiseBeforeFrames", {"--noise"}, true},
                                           // Polls must not come faster than the parts of a reply, or every read would
                                           // end inside the next frame.
                                           LineFault{"FramesSplitOverSeveralWrites", {"--split", "3"}, true, 10000},
                                           LineFault{"ElevenFields", {"--fields", "11"}, true},
                                           LineFault{"NineFields", {"--fields", "9"}, false}),
                         [](const ::testing::TestParamInfo<LineFault>& info) { return std::string(info.param.name); });

TEST_F(RunFaults, DeletedSaveFolderIsCreatedAgain) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  ASSERT_FALSE(std::filesystem::exists(inputs.saveFolder));
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  StopRun();
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {measurements.ReadFrom(0)}));
}

// The save folder is deleted mid-run: the next line goes to a new file under a new header, with one warning,
// and every record stored after the deletion is in it.
TEST_F(RunFaults, DeletedSaveFolderMidRunIsCreatedAgainWithOneWarning) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  std::filesystem::remove_all(inputs.saveFolder);
  const size_t deletedAfter = measurements.Count();
  ASSERT_TRUE(WaitForRecords(deletedAfter + 3));
  StopRun();

  const Box warning{base::BoxKind::Warning, base::BoxButtons::Ok,
                    "The data file " + inputs.dataFilePath +
                        " was deleted during the run. It has been created again and the run goes on in it; "
                        "the lines written before are lost.",
                    true};
  EXPECT_EQ(boxes.Boxes(), std::vector<Box>{warning});
  // A record stored while the deletion happened may have gone to the old file; none after it.
  const std::vector<MeasurementRecord> records = measurements.ReadFrom(0);
  const std::string file = ReadWholeFile(inputs.dataFilePath);
  const std::string header = HeaderBlock(inputs.portNumber, inputs.serialNumber, inputs.firmware);
  ASSERT_EQ(file.rfind(header, 0), 0u) << file;
  size_t firstInNewFile = records.size();
  for (size_t i = records.size(); i-- > 0;) {
    if (ExpectedFile(inputs, {std::vector<MeasurementRecord>(records.begin() + static_cast<std::ptrdiff_t>(i),
                                                             records.end())}) == file) {
      firstInNewFile = i;
    }
  }
  ASSERT_LT(firstInNewFile, records.size()) << file;
  EXPECT_LE(firstInNewFile, deletedAfter + 1);
  EXPECT_GE(firstInNewFile, 2u);
}

// The reader ends at its start; the polling thread goes on until Stop and nothing is recorded.
struct StartFault {
  const char* name;
  std::function<void(ReaderInputs&, const std::string& dir)> arrange;
  std::function<std::string(const ReaderInputs&)> box;
  bool leavesNothing = false;  // neither the save folder nor any file appears
};

void PrintTo(const StartFault& fault, std::ostream* out) { *out << fault.name; }

class StartFaults : public testing::RunFixture, public ::testing::WithParamInterface<StartFault> {};

TEST_P(StartFaults, ReaderReportsAndRecordsNothing) {
  const StartFault& fault = GetParam();
  StartSensor();
  ReaderInputs inputs = Inputs();
  fault.arrange(inputs, dir_);
  StartRun(inputs);
  ASSERT_TRUE(boxes.WaitForCount(1, 20s));
  // Polling goes on after the reader has ended, and frames keep arriving unrecorded.
  ASSERT_TRUE(sensor->WaitReceived(4, 20s));
  StopRun();
  EXPECT_EQ(boxes.Boxes(), (std::vector<Box>{{base::BoxKind::Error, base::BoxButtons::Ok, fault.box(inputs), true}}));
  EXPECT_EQ(failures.All(), std::vector<RunFailure>{RunFailure::FolderNotWritable});
  EXPECT_EQ(measurements.Count(), 0u);
  if (fault.leavesNothing) {
    EXPECT_FALSE(std::filesystem::exists(inputs.saveFolder));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reader, StartFaults,
    ::testing::Values(
        StartFault{
            "SaveFolderParentMissing",
            [](ReaderInputs& in, const std::string& dir) {
              in.saveFolder = dir + "/Gone/Save/";
              in.dataFilePath = DataFileName(in.saveFolder, in.serialNumber, in.firmware, {2013, 9, 5, 14, 3, 0, 0});
            },
            [](const ReaderInputs&) { return std::string("Error to create directory save"); }},
        StartFault{
            "SlashInFirmwareText",
            [](ReaderInputs& in, const std::string&) {
              in.firmware = "QRN/2.14";
              in.dataFilePath = DataFileName(in.saveFolder, in.serialNumber, in.firmware, {2013, 9, 5, 14, 3, 0, 0});
            },
            [](const ReaderInputs&) {
              return std::string(
                  "Error to open file\n\rThe firmware revision holds the character \"/\", "
                  "which a file name may not hold; no data file was created.");
            },
            true},
        StartFault{
            "LineFeedEndingTheFirmwareText",
            [](ReaderInputs& in, const std::string&) {
              in.firmware = "QRN 2.14\n";
              in.dataFilePath = DataFileName(in.saveFolder, in.serialNumber, in.firmware, {2013, 9, 5, 14, 3, 0, 0});
            },
            [](const ReaderInputs&) {
              return std::string(
                  "Error to open file\n\rThe firmware revision holds a line feed (LF), "
                  "which a file name may not hold; no data file was created.");
            },
            true},
        StartFault{"FileNameIsAFolder",
                   [](ReaderInputs& in, const std::string&) { std::filesystem::create_directories(in.dataFilePath); },
                   [](const ReaderInputs& in) {
                     return "Error to open file\n\rCannot open file \"" + in.dataFilePath + "\". " +
                            link::SystemErrorText(EISDIR);
                   }}),
    [](const ::testing::TestParamInfo<StartFault>& info) { return std::string(info.param.name); });

// A full disk: every line is refused and reported, the records stay, and each new line is tried again.
TEST_F(RunFaults, FullDiskWarnsPerLineAndKeepsTheRecords) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  std::filesystem::create_directories(inputs.saveFolder);
  std::filesystem::create_symlink("/dev/full", inputs.dataFilePath);
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(3));
  StopRun();

  const Box warning{base::BoxKind::Warning, base::BoxButtons::Ok,
                    "Error writing to file \n\r" + link::SystemErrorText(ENOSPC), true};
  // The header and then every line.
  EXPECT_EQ(boxes.Boxes(), std::vector<Box>(measurements.Count() + 1, warning));
  EXPECT_EQ(failures.All(), std::vector<RunFailure>(measurements.Count() + 1, RunFailure::WriteFailed));
}

}  // namespace
}  // namespace quarn::acquisition
