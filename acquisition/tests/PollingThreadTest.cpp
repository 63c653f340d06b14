#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "acquisition/PollingThread.h"
#include "acquisition/tests/RunFixture.h"
#include "base/Timing.h"
#include "link/SerialLink.h"

namespace quarn::acquisition {
namespace {

using namespace std::chrono_literals;

using namespace testing;

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
  EXPECT_TRUE(HoldsDescriptorTo(inputs.dataFilePath));
  StopRun();

  const std::vector<MeasurementRecord> records = measurements.ReadFrom(0);
  EXPECT_TRUE(boxes.Boxes().empty());
  for (const MeasurementRecord& r : records) {
    EXPECT_EQ(r.K, 0) << "the simulated sensor reports status 0";
    EXPECT_GT(r.S, 1000) << "the active signal is in the thousands";
  }
  // Every record is a line, in order, and the file is complete once the run has ended.
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {records}));
  EXPECT_FALSE(HoldsDescriptorTo(inputs.dataFilePath));
  // Only poll requests went out, and the sensor answered each with at most one frame.
  const std::vector<std::string> received = sensor->Received();
  EXPECT_GE(received.size(), records.size());
  for (const std::string& request : received) EXPECT_EQ(request, "#00F");
  // The port is free again.
  EXPECT_NO_THROW(link::OpenPort("COM7", link::kEventRxFlag)->Close());
}

TEST_F(PollingRun, ASecondRunAppendsItsOwnHeaderAndLines) {
  StartSensor();
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  StopRun();
  const std::vector<MeasurementRecord> first = measurements.ReadFrom(0);

  measurements.Clear();
  StartRun(inputs);
  ASSERT_TRUE(WaitForRecords(2));
  StopRun();
  const std::vector<MeasurementRecord> second = measurements.ReadFrom(0);
  EXPECT_EQ(ReadWholeFile(inputs.dataFilePath), ExpectedFile(inputs, {first, second}));
}

// The gaps between the requests the sensor received, in milliseconds.
std::vector<int64_t> GapsMs(const sim::SimSensor& sensor) {
  const auto times = sensor.ReceivedTimes();
  std::vector<int64_t> gaps;
  for (size_t i = 1; i < times.size(); ++i) {
    gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(times[i] - times[i - 1]).count());
  }
  return gaps;
}

// The simulator's report of one request may lag behind that of the next by this much on a busy machine.
constexpr int64_t kReportLagMs = 150;

// Lower bounds only: a poller that waits cannot send early by chance. A second is 200 ms here, so two
// seconds less the lag still rule out one.
TEST_F(PollingRun, RequestsTwoSecondsApartAtTheDefaultInterval) {
  base::SetTimeScale(0.2);
  StartSensor();
  StartRun(Inputs(), 2000);
  ASSERT_TRUE(sensor->WaitReceived(4, 20s));
  StopRun();
  for (int64_t gap : GapsMs(*sensor)) EXPECT_GE(gap, base::Scaled(2000) - kReportLagMs);
}

// At 0.5 s no whole second is left after rounding and the poller sends back to back, faster than the
// sensor takes requests: its input buffer overflows. Time runs at its own pace here, so a poller that
// paused even a tenth of the half second would leave the sensor time to answer each request and lose none.
// Every frame the line delivers during the run is stored all the same.
// The fastest setting on a real-speed line: as fast as the line allows, yet never more than one request
// unanswered, so the sensor loses none and nothing is left to arrive after Stop but the frame under way.
// The property holds from the first request on; 15 s stand for the hour a user would run.
TEST_F(PollingRun, FastestSettingKeepsOneRequestInFlight) {
  base::SetTimeScale(1.0);
  StartSensor();
  constexpr int kCounterValues = 1000;
  std::string counter = "field 5 ";
  for (int i = 1; i <= kCounterValues; ++i) counter += (i > 1 ? "," : "") + std::to_string(i);
  sensor->Control(counter);
  StartRun(Inputs(), 500);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return std::chrono::steady_clock::now() - start >= 15s; }, 20s));
  StopRun();
  const auto log = sensor->Requests();
  const std::vector<MeasurementRecord> records = measurements.ReadFrom(0);
  ASSERT_LT(records.size(), static_cast<size_t>(kCounterValues));
  EXPECT_EQ(log.mostPending, 1u) << "never a second request while one was unanswered";
  EXPECT_EQ(log.lost, 0u);
  // Every request the sensor got was answered, the last one included, and every answer was stored.
  ASSERT_TRUE(WaitUntil([&] { return sensor->Requests().answered == sensor->Requests().arrived; }));
  EXPECT_EQ(log.arrived, pollingThread_->SentRequests());
  EXPECT_EQ(records.size(), pollingThread_->SentRequests());
  EXPECT_EQ(pollingThread_->UnansweredRequests(), 0u);
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].par5, i + 1) << "record " << i;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("records_per_second", std::to_string(records.size() / seconds));
  std::printf("%zu records in %.1f s: %.1f a second\n", records.size(), seconds, records.size() / seconds);
}

// A sensor that stops answering at the fastest setting: the poller asks again after the reply time-out,
// counts each such request as unanswered, and notices the silence and its end.
TEST_F(PollingRun, FastestSettingAsksAgainAfterTheReplyTimeOutAndNoticesSilence) {
  base::SetTimeScale(0.05);
  StartSensor({"--baud", "192000"});  // the line as much faster as time runs
  StartRun(Inputs(), 500);
  ASSERT_TRUE(WaitForRecords(3));
  sensor->Control("silent on");
  const uint64_t before = pollingThread_->SentRequests();
  std::vector<SilenceChange> changes;
  ASSERT_TRUE(WaitUntil([&] {
    for (const SilenceChange& c : pollingThread_->TakeSilenceChanges()) changes.push_back(c);
    return !changes.empty();
  }));
  EXPECT_TRUE(changes[0].silent);
  EXPECT_GT(pollingThread_->SentRequests(), before + 5) << "asked again after each time-out";
  EXPECT_GE(pollingThread_->UnansweredRequests(), pollingThread_->SentRequests() - before - 2);
  sensor->Control("silent off");
  ASSERT_TRUE(WaitUntil([&] {
    for (const SilenceChange& c : pollingThread_->TakeSilenceChanges()) changes.push_back(c);
    return changes.size() >= 2;
  }));
  StopRun();
  EXPECT_FALSE(changes[1].silent);
  EXPECT_EQ(changes[1].since, changes[0].since);
  EXPECT_GE(changes[1].until - changes[1].since, std::chrono::milliseconds(base::Scaled(10000)));
  EXPECT_EQ(sensor->Requests().lost, 0u);
}

// 10 s, changed to 2 s during the first wait: that wait runs to its end, the next ones are 2 s.
TEST_F(PollingRun, ANewIntervalAppliesAfterTheCurrentWait) {
  base::SetTimeScale(0.2);
  StartSensor();
  StartRun(Inputs(), 10000);
  // The first frame is stored a paced reply (about 70 ms) after the request: the poller, which takes the
  // interval as soon as its write is done, is in its wait by then.
  ASSERT_TRUE(WaitForRecords(1));
  pollingThread_->SetInterval(2000);
  ASSERT_TRUE(sensor->WaitReceived(4, 20s));
  StopRun();
  const std::vector<int64_t> gaps = GapsMs(*sensor);
  ASSERT_GE(gaps.size(), 3u);
  EXPECT_GE(gaps[0], base::Scaled(10000) - kReportLagMs) << "the wait under way keeps its length";
  for (size_t i = 1; i < gaps.size(); ++i) {
    EXPECT_GE(gaps[i], base::Scaled(2000) - kReportLagMs);
    EXPECT_LT(gaps[i], base::Scaled(10000)) << "the new interval is in force after the first wait";
  }
}

// A stop during a 99 s wait ends the run within a slice or two, long before the wait would: the deadline
// is half of the (scaled) wait, whatever the scale.
TEST_F(PollingRun, StopDuringALongWaitIsNoticedWithinASecond) {
  base::SetTimeScale(0.1);
  StartSensor();
  StartRun(Inputs(), 99000);
  ASSERT_TRUE(sensor->WaitReceived(1, 10s));
  ASSERT_TRUE(WaitForRecords(1));
  pollingThread_->RequestStop();
  EXPECT_TRUE(
      WaitUntil([&] { return pollingThread_->Finished(); }, std::chrono::milliseconds(base::Scaled(99000) / 2)));
  pollingThread_->Join();
  EXPECT_EQ(sensor->Received().size(), 1u);
  EXPECT_EQ(measurements.Count(), 1u);
}

TEST_F(PollingRun, BusyPortEndsTheThreadAtOnceWithoutAFile) {
  StartSensor();
  const link::PortHandle holder = link::OpenPort("COM7", link::kEventRxFlag);
  const ReaderInputs inputs = Inputs();
  StartRun(inputs);
  ASSERT_TRUE(WaitUntil([&] { return pollingThread_->Finished(); }));
  StopRun();
  EXPECT_EQ(boxes.Boxes(), (std::vector<base::ScriptedMessageBoxes::Box>{
                               {base::BoxKind::Error, base::BoxButtons::Ok, "COM7 port is busy", true}}));
  EXPECT_EQ(failures.All(), std::vector<RunFailure>{RunFailure::PortBusy});
  EXPECT_FALSE(std::filesystem::exists(inputs.saveFolder));
  EXPECT_TRUE(sensor->Received().empty());
  holder->Close();
}

}  // namespace
}  // namespace quarn::acquisition
