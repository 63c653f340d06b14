#include <gtest/gtest.h>
#include <cstdlib>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "acquisition/DateTime.h"
#include "chart/MeasurementChart.h"
#include "datafile/CsvExport.h"
#include "review/ReviewWindow.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

// The data file keeps whole seconds; records that share one are spread within it when read.
acquisition::LocalDateTime ToTheSecond(double dt) {
  acquisition::LocalDateTime when = acquisition::DecodeDayNumber(dt);
  when.millisecond = 0;
  return when;
}

void ExpectSameRecord(const acquisition::MeasurementRecord& live, const acquisition::MeasurementRecord& read) {
  EXPECT_EQ(ToTheSecond(live.DT), ToTheSecond(read.DT));
  acquisition::MeasurementRecord values = live;
  values.DT = read.DT;
  EXPECT_EQ(values, read);
}

bool Loaded(MainWindow& form, int count) {
  const auto reviews = form.ReviewWindows();
  return reviews.size() == count && !reviews.back()->Loading();
}

TEST_F(MainWindowTest, ARunsDataFileReviewedDuringAndAfterTheRunHoldsTheRunsRecords) {
  // A locale whose dates are numbers; the C locale's named months have a case of their own below.
  ScopedLocale locale("en_GB");
  // The window again, with the export questions answered from a script.
  ScriptedFileChooser files;
  form_.reset();
  MainWindowDependencies deps = folders_.Deps(&boxes_, &store_);
  deps.files = &files;
  form_ = std::make_unique<MainWindow>(deps);
  form_->show();
  Check();
  form_->StartClicked();
  const acquisition::MeasurementStore& live = form_->Run().Measurements();
  ASSERT_TRUE(QTest::qWaitFor([&] { return live.Count() >= 4; }, kWaitMs));
  const QString path = QString::fromStdString(form_->Run().DataFilePath());

  // Opened while the run writes it: the run goes on undisturbed, on the port it holds.
  form_->OpenDataFiles({path});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Loaded(*form_, 1); }, kWaitMs));
  EXPECT_GE(form_->ReviewWindows()[0]->Records().Count(), 3u);
  const size_t atOpen = live.Count();
  ASSERT_TRUE(QTest::qWaitFor([&] { return live.Count() >= atOpen + 3; }, kWaitMs));
  EXPECT_TRUE(form_->Run().Running());
  EXPECT_TRUE(boxes_.Texts().empty()) << boxes_.Texts()[0];

  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Save Date to file?"});

  form_->OpenDataFiles({path});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Loaded(*form_, 2); }, kWaitMs));
  review::ReviewWindow* review = form_->ReviewWindows()[1];
  const std::vector<acquisition::MeasurementRecord> run = live.ReadFrom(0);
  const std::vector<acquisition::MeasurementRecord> read = review->Records().ReadFrom(0);
  ASSERT_EQ(read.size(), run.size());
  ExpectSameRecord(run.front(), read.front());
  ExpectSameRecord(run.back(), read.back());
  EXPECT_EQ(review->Result().skippedLines, 0u);
  ASSERT_EQ(review->Result().runs.size(), 1u);
  EXPECT_EQ(review->IdentityRow("Serial Number"), "102345");
  EXPECT_EQ(review->IdentityRow("Firmware rev."), "QRN-2.14");
  EXPECT_EQ(review->IdentityRow("Port"), "COM7");
  EXPECT_EQ(review->Chart()->PointCount(), int(run.size()));
  EXPECT_EQ(boxes_.Texts().size(), 1u);

  // The live window exports what its chart shows: every record of the run, to the millisecond.
  form_->Run().Tick();
  QTemporaryDir out;
  files.saveAnswers.push_back({out.filePath("run.csv"), ""});
  ClickMenuItem(*form_, "Action", "menuExportData");
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return files.questions == 1 && QApplication::activeModalWidget() == nullptr; }, kWaitMs));
  const std::vector<acquisition::MeasurementRecord> csv = datafile::ReadCsv(out.filePath("run.csv").toStdString());
  ASSERT_EQ(csv.size(), run.size());
  for (size_t i = 0; i < csv.size(); ++i) EXPECT_TRUE(SameRecord(csv[i], run[i])) << i;
  files.saveAnswers.push_back({out.filePath("run.png"), ""});
  files.sizeAnswers.push_back(QSize(900, 300));
  ClickMenuItem(*form_, "Action", "menuExportChart");
  ASSERT_TRUE(QTest::qWaitFor([&] { return files.questions == 3; }, kWaitMs));
  EXPECT_EQ(QImage(out.filePath("run.png")).size(), QSize(900, 300));
  EXPECT_EQ(boxes_.Texts().size(), 1u);
}

TEST_F(MainWindowTest, UnderTheCLocaleARunsDataFileIsIso8601AndReadsBack) {
  // As on a machine without a language set.
  ScopedLocale locale("C");
  const char* oldLcAll = std::getenv("LC_ALL");
  const std::string keptLcAll = oldLcAll ? oldLcAll : "";
  setenv("LC_ALL", "C", 1);
  form_.reset();
  form_ = std::make_unique<MainWindow>(folders_.Deps(&boxes_, &store_));
  form_->show();
  Check();
  form_->StartClicked();
  const acquisition::MeasurementStore& live = form_->Run().Measurements();
  ASSERT_TRUE(QTest::qWaitFor([&] { return live.Count() >= 3; }, kWaitMs));
  const QString path = QString::fromStdString(form_->Run().DataFilePath());
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();

  const std::vector<acquisition::MeasurementRecord> run = live.ReadFrom(0);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const acquisition::LocalDateTime first = acquisition::DecodeDayNumber(run.front().DT);
  EXPECT_TRUE(
      file.readAll().contains(QString::asprintf("%04d-%02d-%02d ", first.year, first.month, first.day).toLatin1()));

  form_->OpenDataFiles({path});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Loaded(*form_, 1); }, kWaitMs));
  review::ReviewWindow* review = form_->ReviewWindows()[0];
  const std::vector<acquisition::MeasurementRecord> read = review->Records().ReadFrom(0);
  ASSERT_EQ(read.size(), run.size());
  for (size_t i = 0; i < run.size(); ++i) ExpectSameRecord(run[i], read[i]);
  EXPECT_EQ(review->Result().skippedLines, 0u);
  EXPECT_EQ(review->Result().dateReading, "dates read year-first, as the locale writes them");
  EXPECT_EQ(boxes_.Texts().size(), 1u);
  if (oldLcAll)
    setenv("LC_ALL", keptLcAll.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace quarn::ui::testing
