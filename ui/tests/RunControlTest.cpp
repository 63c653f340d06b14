#include "ui/RunControl.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "sim/testing/SimSensor.h"

namespace quarn::ui {
namespace {

using Box = base::ScriptedMessageBoxes::Box;
using Calls = std::vector<std::string>;
using Columns = std::vector<ToolbarColumn>;

// How long QTest::qWaitFor turns the event loop for a condition; the display timer ticks once a second.
constexpr int kWaitMs = 10000;

const Box kSaveQuestion{base::BoxKind::Question, base::BoxButtons::YesNo, "Save Date to file?", false};
const Box kClearQuestion{base::BoxKind::Question, base::BoxButtons::YesNo, "Clear comport settings?", false};

// Records what the controller asks of its window.
class FakeView : public RunView {
 public:
  bool ReloadCriteria() override {
    calls.push_back("ReloadCriteria");
    return criteriaReadable;
  }
  void ReadTypeAndRange() override {
    calls.push_back("ReadTypeAndRange");
    if (coefficientsFail) throw std::runtime_error("no reply");
  }
  void PrepareDisplay(bool newSeries, std::shared_ptr<const acquisition::RecordBlock> earlierRun) override {
    calls.push_back(newSeries ? "NewSeries" : "EmptiedSeries");
    if (earlierRun) keptRecords += earlierRun->Count();
    seen = 0;
  }
  void ShowRecords(size_t count) override {
    store->ForEach(seen, count, [this](auto records) { shown.insert(shown.end(), records.begin(), records.end()); });
    seen = count;
  }
  void ClearDisplay() override {
    calls.push_back("ClearDisplay");
    shown.clear();
    seen = 0;
  }
  void ForgetSensor() override { calls.push_back("ForgetSensor"); }
  void ApplyToolbar(ToolbarColumn column) override { toolbar.push_back(column); }
  QString AskSavePath(const QString& fileName) override {
    offeredName = fileName;
    return chosenPath;
  }
  void ShowRunNote(const QString& text) override { notes.push_back(text); }
  void ShowMarkers() override { calls.push_back("ShowMarkers"); }
  void SensorMovedTo(const std::string& portNumber) override { calls.push_back("SensorMovedTo " + portNumber); }

  bool criteriaReadable = true;
  bool coefficientsFail = false;
  QString chosenPath;
  Calls calls;
  Columns toolbar;
  const acquisition::MeasurementStore* store = nullptr;  // the controller's
  size_t seen = 0;                                       // records of the store shown so far
  std::vector<acquisition::MeasurementRecord> shown;
  size_t keptRecords = 0;  // records of earlier runs handed over for the table
  QString offeredName;
  std::vector<QString> notes;
};

// The controller without a window, against the simulated sensor on COM7, with time sped up.
class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.1);
    sim::SimSensor::Options options = sim::LineAtTimeScale(0.1);
    options.args = {"--serial", "102345", "--firmware", "QRN-2.14"};
    sensor_ = std::make_unique<sim::SimSensor>(options);
    ports_ = std::make_unique<sim::ScopedPortDir>(sensor_->PortDir());
    run_ = std::make_unique<RunControl>(view_, boxes_);
    view_.store = &run_->Measurements();
  }
  void TearDown() override {
    run_.reset();
    base::SetTimeScale(1.0);
  }

  RunRequest Request() const { return {{"7", "102345", "QRN-2.14", "", ""}, SaveFolder(), 500}; }
  std::string SaveFolder() const { return folder_.path().toStdString() + "/Save/"; }
  bool WaitForShown(size_t count) {
    return QTest::qWaitFor([&] { return view_.shown.size() >= count; }, kWaitMs);
  }
  void StopAnswering(base::BoxAnswer answer) {
    boxes_.QueueAnswer(answer);
    run_->Stop();
  }

  QTemporaryDir folder_;
  FakeView view_;
  base::ScriptedMessageBoxes boxes_;
  std::unique_ptr<sim::SimSensor> sensor_;
  std::unique_ptr<sim::ScopedPortDir> ports_;
  std::unique_ptr<RunControl> run_;
};

TEST_F(RunControlTest, StartWithoutAnIdentifiedSensorOnlyWarns) {
  for (const base::SensorIdentity& identity :
       {base::SensorIdentity{"", "102345", "QRN-2.14", "", ""}, base::SensorIdentity{"7", "", "QRN-2.14", "", ""}}) {
    boxes_.Clear();
    run_->Start({identity, SaveFolder(), 500});
    EXPECT_EQ(
        boxes_.Boxes(),
        (std::vector<Box>{{base::BoxKind::Warning, base::BoxButtons::Ok, "First, determine the sensor!", false}}));
  }
  EXPECT_TRUE(view_.calls.empty());
  EXPECT_TRUE(view_.toolbar.empty());
  EXPECT_FALSE(run_->Running());
  EXPECT_FALSE(run_->DisplayTimerActive());
}

TEST_F(RunControlTest, AnUnreadableCriteriaFileStartsNoRun) {
  view_.criteriaReadable = false;
  run_->Start(Request());
  EXPECT_EQ(view_.calls, Calls{"ReloadCriteria"});
  EXPECT_TRUE(boxes_.Boxes().empty()) << "the criteria file shows its own box";
  EXPECT_FALSE(run_->Running());
  EXPECT_TRUE(view_.toolbar.empty());
}

TEST_F(RunControlTest, AFailedCoefficientCheckWarnsAndTheRunGoesOn) {
  view_.coefficientsFail = true;
  run_->Start(Request());
  EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{base::BoxKind::Warning, base::BoxButtons::Ok,
                                               "Error occurred while checking the coefficients \n\rno reply", false}}));
  EXPECT_TRUE(run_->Running());
  ASSERT_TRUE(WaitForShown(1));
  StopAnswering(base::BoxAnswer::Yes);
}

// Start, the timer's ticks, Stop answered No, Clear: the order of the window's steps and the file's fate.
TEST_F(RunControlTest, ARunFromStartToClear) {
  run_->Start(Request());
  EXPECT_EQ(view_.calls, (Calls{"ReloadCriteria", "ReadTypeAndRange", "NewSeries"}));
  EXPECT_EQ(view_.toolbar, Columns{ToolbarColumn::Start});
  EXPECT_TRUE(run_->DisplayTimerActive());
  const std::string file = run_->DataFilePath();
  EXPECT_EQ(std::filesystem::path(file).parent_path().string() + "/", SaveFolder());

  // Only the display timer calls Tick here: every record reaches the view once, in order.
  ASSERT_TRUE(WaitForShown(3));
  StopAnswering(base::BoxAnswer::No);
  EXPECT_FALSE(run_->Running());
  EXPECT_EQ(run_->PollInterval(), 0);
  EXPECT_EQ(view_.toolbar, (Columns{ToolbarColumn::Start, ToolbarColumn::Stop}));
  run_->Tick();
  const std::vector<acquisition::MeasurementRecord> stored = run_->Measurements().ReadFrom(0);
  ASSERT_EQ(view_.shown.size(), stored.size());
  for (size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(view_.shown[i].DT, stored[i].DT) << i;
  EXPECT_TRUE(std::filesystem::exists(file)) << "a discarded file stays until Clear";

  boxes_.QueueAnswer(base::BoxAnswer::No);
  run_->Clear();
  EXPECT_TRUE(std::filesystem::exists(file)) << "Clear answered No changes nothing";
  EXPECT_EQ(view_.toolbar.size(), 2u);

  view_.calls.clear();
  run_->Clear();  // the script answers Yes
  EXPECT_EQ(view_.calls, (Calls{"ForgetSensor", "ClearDisplay"}));
  EXPECT_EQ(view_.toolbar.back(), ToolbarColumn::Clear);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(run_->Measurements().Count(), 0u);
  EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{kSaveQuestion, kClearQuestion, kClearQuestion}));

  // The next Start makes new series again.
  view_.calls.clear();
  run_->Start(Request());
  EXPECT_EQ(view_.calls.back(), "NewSeries");
  StopAnswering(base::BoxAnswer::Yes);
}

// A further run writes on in the same file; the store starts afresh and the view gets its records from the first.
TEST_F(RunControlTest, AFurtherRunKeepsTheFileAndStartsTheStoreAfresh) {
  run_->Start(Request());
  ASSERT_TRUE(WaitForShown(2));
  StopAnswering(base::BoxAnswer::Yes);
  run_->Tick();
  const size_t first = view_.shown.size();
  const std::string file = run_->DataFilePath();

  view_.calls.clear();
  run_->Start(Request());
  EXPECT_EQ(view_.calls.back(), "EmptiedSeries");
  EXPECT_EQ(view_.keptRecords, first) << "the first run's records, handed over whole";
  EXPECT_EQ(run_->DataFilePath(), file);
  ASSERT_TRUE(WaitForShown(first + 2));
  StopAnswering(base::BoxAnswer::Yes);
  run_->Tick();
  const std::vector<acquisition::MeasurementRecord> second = run_->Measurements().ReadFrom(0);
  ASSERT_EQ(view_.shown.size(), first + second.size());
  for (size_t i = 0; i < second.size(); ++i) EXPECT_EQ(view_.shown[first + i].DT, second[i].DT) << i;

  run_->Clear();
  EXPECT_TRUE(std::filesystem::exists(file)) << "kept at the last Stop";
}

// Ten seconds without a frame (one here, time running ten times faster) and frames again: one note each,
// and no box.
TEST_F(RunControlTest, ASilentSensorIsNotedWithoutABox) {
  run_->Start(Request());
  ASSERT_TRUE(WaitForShown(2));
  sensor_->Control("silent on");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.notes.empty(); }, kWaitMs));
  EXPECT_TRUE(QRegularExpression("^sensor 102345 silent since \\d\\d:\\d\\d:\\d\\d$").match(view_.notes[0]).hasMatch())
      << view_.notes[0].toStdString();
  sensor_->Control("silent off");
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_.notes.size() >= 2; }, kWaitMs));
  EXPECT_TRUE(QRegularExpression("^sensor 102345 answering again after \\d+ s$").match(view_.notes[1]).hasMatch())
      << view_.notes[1].toStdString();
  EXPECT_TRUE(boxes_.Boxes().empty());
  StopAnswering(base::BoxAnswer::Yes);
  EXPECT_EQ(view_.notes.size(), 2u);
}

TEST_F(RunControlTest, IntervalReachesTheRunningPollerOnly) {
  run_->SetInterval(9000);  // no run: nothing to tell
  run_->Start({{"7", "102345", "QRN-2.14", "", ""}, SaveFolder(), 3500});
  EXPECT_EQ(run_->PollInterval(), 3500);
  run_->SetInterval(7000);
  EXPECT_EQ(run_->PollInterval(), 7000);
  StopAnswering(base::BoxAnswer::Yes);
  EXPECT_EQ(run_->PollInterval(), 0);
}

TEST_F(RunControlTest, SaveCopiesTheDataFileToTheChosenPath) {
  run_->Start(Request());
  ASSERT_TRUE(WaitForShown(1));
  StopAnswering(base::BoxAnswer::Yes);
  const std::string data = run_->DataFilePath();
  const QString dir = folder_.path();
  struct Case {
    QString chosen;
    QString expected;  // empty: nothing is written
  };
  const Case cases[] = {{dir + "/copy", dir + "/copy.txt"}, {dir + "/copy.dat", dir + "/copy.dat"}, {"", ""}};
  for (const Case& c : cases) {
    view_.chosenPath = c.chosen;
    run_->Save();
    EXPECT_EQ(view_.offeredName.toStdString(), std::filesystem::path(data).filename().string());
    if (!c.expected.isEmpty()) {
      EXPECT_EQ(std::filesystem::file_size(c.expected.toStdString()), std::filesystem::file_size(data))
          << c.chosen.toStdString();
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.toStdString()), {}), 3)
      << "Save, copy.txt and copy.dat; a cancelled dialog writes nothing";
}

// Closing asks about the file only while a run is on; a file discarded there is deleted at once.
TEST_F(RunControlTest, CloseSequenceStopsARunningRunAndDeletesADiscardedFile) {
  run_->CloseSequence();
  EXPECT_TRUE(boxes_.Boxes().empty()) << "no run, no question";

  run_->Start(Request());
  ASSERT_TRUE(WaitForShown(1));
  const std::string file = run_->DataFilePath();
  boxes_.QueueAnswer(base::BoxAnswer::No);
  run_->CloseSequence();
  EXPECT_FALSE(run_->Running());
  EXPECT_EQ(boxes_.Boxes(), std::vector<Box>{kSaveQuestion});
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace quarn::ui
