#include <gtest/gtest.h>
#include <signal.h>

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/MeasurementChart.h"
#include "recorder/tests/RecorderProcess.h"
#include "review/BenchWindow.h"
#include "sim/testing/SimSensor.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

using namespace std::chrono_literals;
using recorder::testing::RecorderProcess;

constexpr int kWaitMs = 60000;

// The data lines of a file as written so far: lines with a TAB (header lines have none).
size_t DataLinesIn(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  size_t count = 0;
  for (std::string line; std::getline(file, line);) count += line.find('\t') != std::string::npos;
  return count;
}

// quarn-record processes writing into one folder, each against a simulated sensor of its own.
class BenchFollowTest : public ::testing::Test {
 protected:
  void StartRecorder(int com) {
    sim::SimSensor::Options options;
    options.com = com;
    options.args = {"--serial", std::to_string(300000 + com), "--noise", "--seed", std::to_string(com)};
    sensors_.push_back(std::make_unique<sim::SimSensor>(options));
    RecorderProcess::Options recorder;
    recorder.args = {"--port", std::to_string(com),          "--interval", "0.5",
                     "--out",  folder_.path().toStdString(), "--quiet"};
    recorder.portDir = sensors_.back()->PortDir();
    recorders_.push_back(std::make_unique<RecorderProcess>(recorder));
  }
  // The sensor of the file whose serial number is given; -1 while there is none.
  int SensorOf(const review::BenchWindow& bench, int com) const {
    for (int i = 0; i < bench.SensorCount(); ++i) {
      if (bench.File(i).SerialNumber() == std::to_string(300000 + com)) return i;
    }
    return -1;
  }

  QTemporaryDir folder_;
  base::ScriptedMessageBoxes boxes_;
  ScriptedFileChooser files_;
  std::vector<std::unique_ptr<sim::SimSensor>> sensors_;
  std::vector<std::unique_ptr<RecorderProcess>> recorders_;
};

TEST_F(BenchFollowTest, ThreeRunningRecordersAreFollowedToTheirLastLineALateOneJoinsATruncatedFileIsReadAgain) {
  for (int com = 1; com <= 3; ++com) StartRecorder(com);
  // Each recorder's file exists once it has found its sensor.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return std::distance(std::filesystem::directory_iterator(folder_.path().toStdString()),
                             std::filesystem::directory_iterator()) == 3;
      },
      kWaitMs));
  auto* bench = review::BenchWindow::Follow(folder_.path(), boxes_, files_);
  ASSERT_NE(bench, nullptr);
  const QPointer<review::BenchWindow> guard(bench);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bench->Loading() && bench->SensorCount() == 3; }, kWaitMs));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (int i = 0; i < 3; ++i) {
          if (bench->File(i).Store().Count() < 6) return false;
        }
        return true;
      },
      kWaitMs));
  for (int com = 1; com <= 3; ++com)
    EXPECT_EQ(bench->Chart()->SensorLegendText(SensorOf(*bench, com)), QString::number(300000 + com));

  // A fourth recorder starts later and joins.
  StartRecorder(4);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return SensorOf(*bench, 4) >= 0 && bench->File(SensorOf(*bench, 4)).Store().Count() >= 4; }, kWaitMs));

  // The second sensor's file is cut to nothing under its running recorder, which goes on appending.
  const int cut = SensorOf(*bench, 2);
  ASSERT_GE(cut, 0);
  const std::string cutPath = bench->File(cut).Path();
  const size_t before = bench->File(cut).Store().Count();
  std::filesystem::resize_file(cutPath, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->Notes().contains("read again from its start"); }, kWaitMs))
      << bench->Notes().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->File(cut).Store().Count() >= 4; }, kWaitMs));
  EXPECT_LT(bench->File(cut).Store().Count(), before + 4) << "the records before the cut are gone, not mixed in";

  for (auto& recorder : recorders_) recorder->Signal(SIGTERM);
  for (auto& recorder : recorders_) ASSERT_EQ(recorder::testing::RunToEnd(*recorder), 0) << recorder->Err();
  // Once the files stop growing, every line written is in the window, none twice.
  ASSERT_EQ(bench->SensorCount(), 4);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (int i = 0; i < 4; ++i) {
          if (bench->File(i).Store().Count() != DataLinesIn(bench->File(i).Path())) return false;
        }
        return true;
      },
      kWaitMs));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(bench->File(i).Path());
    EXPECT_EQ(bench->File(i).Store().Count(), DataLinesIn(bench->File(i).Path()));
    EXPECT_EQ(bench->Chart()->SensorPointCount(i), bench->File(i).Store().Count());
    EXPECT_EQ(bench->File(i).SkippedLines(), 0u);
  }
  // Records in time order within each file: nothing read twice.
  for (int i = 0; i < 4; ++i) {
    const auto records = bench->File(i).Store().ReadFrom(0);
    for (size_t r = 1; r < records.size(); ++r) ASSERT_LT(records[r - 1].DT, records[r].DT) << i << " " << r;
  }
  bench->close();
}

}  // namespace
}  // namespace quarn::ui::testing
