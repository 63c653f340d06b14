#include <gtest/gtest.h>

#include <filesystem>

#include "acquisition/PollingThread.h"
#include "acquisition/tests/RunFixture.h"
#include "link/SerialLink.h"
#include "link/Timing.h"

namespace quarn::acquisition {
namespace {

using namespace std::chrono_literals;

using testing::HoldsDescriptorTo;
using testing::ReadWholeFile;
using testing::WaitFor;

TEST(WholeSeconds, NearestWithHalvesToEven) {
  struct Case {
    int32_t ms;
    int seconds;
  };
  const Case cases[] = {{500, 0},  {600, 1},  {1000, 1},   {1499, 1},   {1500, 2},   {2000, 2}, {2500, 2},
                        {3500, 4}, {4500, 4}, {10000, 10}, {99000, 99}, {98500, 98}, {0, 0},    {-700, 0}};
  for (const Case& c : cases) EXPECT_EQ(WholeSeconds(c.ms), c.seconds) << c.ms;
}

class PollingRun : public testing::RunFixture {};

TEST_F(PollingRun, RecordsEveryFrameInStoreAndFileAndReleasesThePort) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(5));
  EXPECT_TRUE(HoldsDescriptorTo(inputs.DataFileName));
  StopRun();

  const std::vector<TData> records = MeasData.ReadFrom(0);
  EXPECT_TRUE(boxes.Boxes().empty());
  for (const TData& r : records) {
    EXPECT_EQ(r.K, 0) << "the simulated sensor reports status 0";
    EXPECT_GT(r.S, 1000) << "the active signal is in the thousands";
  }
  // Every record is a line, in order, and the file is complete once the run has ended.
  EXPECT_EQ(ReadWholeFile(inputs.DataFileName), ExpectedFile(inputs, {records}));
  EXPECT_FALSE(HoldsDescriptorTo(inputs.DataFileName));
  // Only poll requests went out, and the sensor answered each with at most one frame.
  const std::vector<std::string> received = sensor->Received();
  EXPECT_GE(received.size(), records.size());
  for (const std::string& request : received) EXPECT_EQ(request, "#00F");
  // The port is free again.
  EXPECT_NO_THROW(link::OpenPort("COM7", link::EV_RXFLAG)->Close());
}

TEST_F(PollingRun, ASecondRunAppendsItsOwnHeaderAndLines) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  StopRun();
  const std::vector<TData> first = MeasData.ReadFrom(0);

  MeasData.Clear();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  StopRun();
  const std::vector<TData> second = MeasData.ReadFrom(0);
  EXPECT_EQ(ReadWholeFile(inputs.DataFileName), ExpectedFile(inputs, {first, second}));
}

// At real time: a stop during a 99 s wait ends the run within about two seconds, not 99.
TEST_F(PollingRun, StopDuringALongWaitIsNoticedWithinASecond) {
  link::SetTimeScale(1.0);
  StartSensor();
  StartRun(Inputs(), 99000);
  ASSERT_TRUE(sensor->WaitReceived(1, 10s));
  ASSERT_TRUE(WaitForRecords(1));
  PollThread->RequestStop();
  EXPECT_TRUE(WaitFor([&] { return PollThread->Finished(); }, 5s));
  PollThread->Join();
  EXPECT_EQ(sensor->Received().size(), 1u);
  EXPECT_EQ(MeasData.Count(), 1u);
}

TEST_F(PollingRun, BusyPortEndsTheThreadAtOnceWithoutAFile) {
  StartSensor();
  const link::PortHandle holder = link::OpenPort("COM7", link::EV_RXFLAG);
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitFor([&] { return PollThread->Finished(); }));
  StopRun();
  EXPECT_EQ(
      boxes.Boxes(),
      (std::vector<ScriptedMessageBoxes::Box>{{BoxKind::Error, BoxButtons::Ok, "COM7 port is busy", true}}));
  EXPECT_FALSE(std::filesystem::exists(inputs.FLocalSave));
  EXPECT_TRUE(sensor->Received().empty());
  holder->Close();
}

}  // namespace
}  // namespace quarn::acquisition
