#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "analysis/Limits.h"
#include "analysis/Report.h"
#include "analysis/SensorFigures.h"
#include "analysis/Statistics.h"
#include "analysis/Verdict.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/FileChooser.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "datafile/DataFileReader.h"
#include "identify/tests/TestDoubles.h"
#include "review/BenchWindow.h"
#include "ui/MainWindow.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

// 5 September 2013, 14:03:07.
const double kStart = acquisition::EncodeDayNumber({2013, 9, 5, 14, 3, 7, 0});

// The main window without a sensor and three data files of three sensors, the last one a day later.
class BenchTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenMainWindow(&files_); }
  void TearDown() override { form_.reset(); }

  void OpenMainWindow(chart::FileChooser* chooser) {
    MainWindowDependencies deps = folders_.Deps(&boxes_, &ports_);
    deps.files = chooser;
    form_ = std::make_unique<MainWindow>(deps);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  QStringList WriteThreeFiles(const QString& folder = {}) {
    const QDir into(folder.isEmpty() ? data_.path() : folder);
    const QStringList names = {"100001(QRN-2.14) 5-9-2013 14%3.txt", "100002(QRN-2.14) 5-9-2013 14%3.txt",
                               "100003(QRN-2.14) 6-9-2013 14%3.txt"};
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
      paths << into.filePath(names[i]);
      WriteFile(paths.back(), DataFileBytes({{"7", "10000" + std::to_string(i + 1), "QRN-2.14",
                                              Records(kStart + (i == 2 ? 1 : 0), 40 + 10 * i, uint16_t(10 * i))}}));
    }
    return paths;
  }
  review::BenchWindow* WaitForBench() {
    const bool opened = QTest::qWaitFor(
        [&] { return form_->BenchWindows().size() == 1 && !form_->BenchWindows().front()->Loading(); }, kWaitMs);
    return opened ? form_->BenchWindows().front() : nullptr;
  }
  // The texts of the figures of one series over the whole file, read alone.
  static analysis::Row WholeFileRow(const QString& path, size_t series) {
    acquisition::MeasurementStore store;
    datafile::ReadOptions options;
    options.localeOrder = datafile::DateOrder::DayMonthYear;
    datafile::ReadDataFile(path.toStdString(), options, store);
    const analysis::StoreRecords records(store);
    return analysis::StatisticsRow(series, analysis::ComputeStatistics(records, 0, store.Count()).series[series]);
  }
  static analysis::Row BenchRow(const review::BenchWindow& bench, int sensor, size_t series) {
    const auto& shown = bench.Statistics()->FigureSensors();
    const auto at = std::find(shown.begin(), shown.end(), sensor);
    if (at == shown.end()) return {};
    return analysis::StatisticsRow(series,
                                   bench.Statistics()->SensorFigures()[size_t(at - shown.begin())].series[series]);
  }
  static QPoint LegendCentre(const review::BenchWindow& bench, int sensor) {
    return bench.Chart()->SensorLegendRect(sensor).center();
  }

  ScopedLocale locale_{"en_GB"};
  Folders folders_;
  QTemporaryDir data_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore ports_{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> form_;
};

TEST_F(BenchTest, SeveralFilesShowOneRowPerSensorEqualToEachFileAloneAtTheirTrueTimes) {
  const QStringList paths = WriteThreeFiles();
  files_.openAnswers.push_back(paths);
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  EXPECT_TRUE(form_->ReviewWindows().isEmpty());
  ASSERT_EQ(bench->SensorCount(), 3);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->Statistics()->FigureSensors().size() == 3; }, kWaitMs));

  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bench->Chart()->SensorLegendText(i), QString("10000%1").arg(i + 1));
    EXPECT_EQ(bench->File(i).Store().Count(), size_t(40 + 10 * i));
    EXPECT_EQ(BenchRow(*bench, i, analysis::kConcentration), WholeFileRow(paths[i], analysis::kConcentration));
  }
  // The third file a day later stays there.
  EXPECT_DOUBLE_EQ(bench->File(2).Store().At(0).DT, kStart + 1);
  const auto times = bench->Chart()->RecordTimes();
  ASSERT_TRUE(times);
  EXPECT_DOUBLE_EQ(times->first, kStart);
  EXPECT_NEAR(times->second, kStart + 1 + 59 / 86400.0, 1e-6);

  // Another series, chosen with the keyboard.
  QComboBox* series = bench->SeriesChoice();
  series->setFocus();
  QTest::keyClick(series, Qt::Key_Down);
  ASSERT_EQ(series->currentText(), "St");
  QTest::qWait(0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(BenchRow(*bench, i, 1), WholeFileRow(paths[i], 1)) << i;
  EXPECT_EQ(bench->Chart()->SensorSeries(), 1);
}

TEST_F(BenchTest, ChosenLimitsJudgeEachSensorAsQuarnAnalyzeDoes) {
  const QStringList paths = WriteThreeFiles();
  form_->OpenDataFiles(paths);
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  // The first file's Conc runs over 40 values, the others' over 50: only the first stays within the SD.
  const QString limits = data_.filePath("limits.ini");
  WriteFile(limits, "sd_max = 12.5\r\ndrift_per_hour_max = 100000\r\n");
  const QString bad = data_.filePath("bad.ini");
  WriteFile(bad, "sd_max = 5\r\nsd_mx = 3\r\n");
  files_.limitsAnswers = {bad, limits};
  ClickMenuItem(*bench, "File", "menuLimits");
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_NE(boxes_.Texts()[0].find("line 2"), std::string::npos) << boxes_.Texts()[0];
  EXPECT_TRUE(bench->Statistics()->Verdicts().empty());
  ClickMenuItem(*bench, "File", "menuLimits");
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->Statistics()->Verdicts().size() == 3; }, kWaitMs));

  const auto reading = analysis::ReadLimitsFile(limits.toStdString());
  ASSERT_TRUE(reading.limits);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    acquisition::MeasurementStore store;
    datafile::ReadOptions options;
    datafile::ReadDataFile(paths[i].toStdString(), options, store);
    const analysis::StoreRecords records(store);
    const auto figures = analysis::FiguresOf(records, analysis::ComputeStatistics(records, 0, store.Count()), {},
                                             analysis::ResponseSettings(), {});
    EXPECT_EQ(bench->Statistics()->Verdicts()[size_t(i)], analysis::Judge(*reading.limits, figures).overall.Text());
  }
  EXPECT_EQ(bench->Statistics()->Verdicts()[0], "PASS");
  EXPECT_EQ(bench->Statistics()->Verdicts()[1], "FAIL: sd_max");
  EXPECT_EQ(bench->Statistics()->StatisticsTable()->horizontalHeaderItem(7)->text(), "verdict");
  EXPECT_EQ(bench->Statistics()->StatisticsTable()->item(1, 7)->text(), "FAIL: sd_max");
}

TEST_F(BenchTest, AClickOnALegendEntryHidesItsSensorAndADoubleClickShowsItsRecords) {
  form_->OpenDataFiles(WriteThreeFiles());
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(bench));
  bench->Chart()->Refresh();
  QTest::mouseClick(bench->Chart()->Plot(), Qt::LeftButton, {}, LegendCentre(*bench, 1));
  EXPECT_FALSE(bench->Chart()->SensorVisible(1));
  EXPECT_TRUE(bench->Chart()->SensorVisible(0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->Statistics()->FigureSensors() == std::vector<int>{0, 2}; }, kWaitMs));
  // Shown again.
  QTest::mouseClick(bench->Chart()->Plot(), Qt::LeftButton, {}, LegendCentre(*bench, 1));
  EXPECT_TRUE(bench->Chart()->SensorVisible(1));

  EXPECT_EQ(bench->TableSensor(), 0);
  EXPECT_EQ(bench->TableModel()->RecordRows(), 40);
  const QPoint third = LegendCentre(*bench, 2);
  QTest::mouseDClick(bench->Chart()->Plot(), Qt::LeftButton, {}, third);
  EXPECT_EQ(bench->TableSensor(), 2);
  EXPECT_EQ(bench->TableModel()->RecordRows(), 60);
  EXPECT_TRUE(bench->Chart()->SensorVisible(2)) << "a double click leaves the sensor as it was";
}

TEST_F(BenchTest, SeveralDroppedFilesOpenOneBench) {
  const QStringList paths = WriteThreeFiles();
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  mime.setUrls(urls);
  const QPoint centre = form_->rect().center();
  QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(form_.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(form_.get(), &drop);
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  EXPECT_EQ(bench->SensorCount(), 3);
  EXPECT_TRUE(form_->ReviewWindows().isEmpty());
}

TEST_F(BenchTest, SeveralFilesCtrlClickedInTheOpenDialogOpenOneBench) {
  form_.reset();
  chart::DialogFileChooser dialogs;
  OpenMainWindow(&dialogs);
  const QStringList paths = WriteThreeFiles(folders_.SaveFolder());
  bool typed = false;
  // The dialog is modal: it is answered from the event loop it runs, and closed should typing fail.
  QTimer::singleShot(0, [&] {
    QFileDialog* dialog = nullptr;
    if (!QTest::qWaitFor([&] { return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); },
                         kWaitMs))
      return;
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    // It opens in the save folder, where the files are.
    if (!name || QDir(dialog->directory()) != QDir(folders_.SaveFolder())) {
      dialog->reject();
      return;
    }
    // Each file ctrl-clicked in the list of the folder's files.
    QAbstractItemView* view = nullptr;
    for (auto* candidate : dialog->findChildren<QAbstractItemView*>()) {
      if (candidate->isVisible() && (candidate->objectName() == "treeView" || candidate->objectName() == "listView"))
        view = candidate;
    }
    auto rowOf = [&](const QString& file) {
      for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        if (index.data().toString() == file) return index;
      }
      return QModelIndex();
    };
    if (!QTest::qWaitFor([&] { return rowOf(QFileInfo(paths.back()).fileName()).isValid(); }, kWaitMs)) {
      dialog->reject();
      return;
    }
    for (const QString& path : paths) {
      const QModelIndex index = rowOf(QFileInfo(path).fileName());
      view->scrollTo(index);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, view->visualRect(index).center());
    }
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* open = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
    if (!open) {
      dialog->reject();
      return;
    }
    QTest::mouseClick(open, Qt::LeftButton);
    typed = true;
    if (!QTest::qWaitFor([&] { return !dialog->isVisible(); }, kWaitMs)) dialog->reject();
  });
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(typed);
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  ASSERT_EQ(bench->SensorCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(QString::fromStdString(bench->File(i).Path()), paths[i]);
}

TEST_F(BenchTest, AFollowedFolderTakesWhatIsAddedAndReadsATruncatedFileAgainWithANote) {
  QTemporaryDir folder;
  const QString first = folder.filePath("100001(QRN-2.14) 5-9-2013 14%3.txt");
  const QString second = folder.filePath("100002(QRN-2.14) 5-9-2013 14%3.txt");
  WriteFile(first, DataFileBytes({{"7", "100001", "QRN-2.14", Records(kStart, 20, 0)}}));
  WriteFile(second, DataFileBytes({{"8", "100002", "QRN-2.14", Records(kStart, 10, 5)}}));
  files_.folderAnswers.push_back(folder.path());
  FollowThroughDialog(*form_, {});
  review::BenchWindow* bench = WaitForBench();
  ASSERT_NE(bench, nullptr);
  ASSERT_EQ(bench->SensorCount(), 2);
  EXPECT_TRUE(bench->Following());
  // The first look may wait for the last second; once the files stop growing everything is there.
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->File(0).Store().Count() == 20; }, kWaitMs));

  QFile append(second);
  ASSERT_TRUE(append.open(QIODevice::Append));
  append.write(DataLines(Records(kStart + 10 / 86400.0, 5, 5)));
  append.close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->File(1).Store().Count() == 15; }, kWaitMs));

  // A third sensor's file appears and joins.
  const QString third = folder.filePath("100003(QRN-2.14) 5-9-2013 14%3.txt");
  WriteFile(third, DataFileBytes({{"9", "100003", "QRN-2.14", Records(kStart, 7, 9)}}));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return bench->SensorCount() == 3 && bench->File(2).Store().Count() == 7; }, kWaitMs));
  EXPECT_EQ(bench->Chart()->SensorCount(), 3);
  EXPECT_EQ(bench->Chart()->SensorLegendText(2), "100003");

  // The first file starts again, shorter.
  WriteFile(first, DataFileBytes({{"7", "100001", "QRN-2.14", Records(kStart + 0.1, 4, 1)}}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->Notes().contains("read again from its start"); }, kWaitMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->File(0).Store().Count() == 4; }, kWaitMs));
  EXPECT_EQ(bench->Chart()->SensorPointCount(0), 4u);
  EXPECT_DOUBLE_EQ(bench->File(0).Store().At(0).DT, kStart + 0.1);
}

}  // namespace
}  // namespace quarn::ui::testing
