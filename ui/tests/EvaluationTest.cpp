// The statistics panel and the gas markers, in the live window and in the review window.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include <qcustomplot.h>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "analysis/AnalyzeProgram.h"
#include "analysis/MarkerFile.h"
#include "analysis/TimeText.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/MeasurementChart.h"
#include "chart/StatisticsPanel.h"
#include "review/MarkersAndStatistics.h"
#include "review/ReviewWindow.h"
#include "ui/MarkerDialog.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

QString FileText(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll());
}

MarkerDialog* OpenMarkerDialog(QWidget& window) {
  MarkerDialog* dialog = nullptr;
  const bool open = QTest::qWaitFor(
      [&] {
        dialog = window.findChild<MarkerDialog*>();
        return dialog && dialog->isVisible();
      },
      kWaitMs);
  return open ? dialog : nullptr;
}

TEST_F(MainWindowTest, CtrlMMarksTheMomentItWasPressedInTheMarkerFileOnTheChartAndInThePanel) {
  Check();
  EXPECT_FALSE(form_->MarkButton()->isEnabled()) << "no marker without a run";
  QTest::keyClick(form_.get(), Qt::Key_M, Qt::ControlModifier);
  EXPECT_EQ(form_->findChild<MarkerDialog*>(), nullptr);

  form_->StartClicked();
  EXPECT_TRUE(form_->MarkButton()->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 3; }, kWaitMs));
  form_->Run().Tick();

  const double before = form_->Run().Now();
  QTest::keyClick(form_.get(), Qt::Key_M, Qt::ControlModifier);
  const double after = form_->Run().Now();
  MarkerDialog* dialog = OpenMarkerDialog(*form_);
  ASSERT_NE(dialog, nullptr);
  QComboBox* labels = dialog->LabelBox();
  ASSERT_EQ(labels->count(), 3);
  EXPECT_EQ(labels->itemText(0), "gas on 800 ppm");
  EXPECT_EQ(labels->itemText(1), "gas off");
  EXPECT_EQ(labels->itemText(2), "zero air");
  EXPECT_EQ(labels->currentIndex(), -1) << "no label chosen for the user";
  EXPECT_EQ(labels->currentText(), "");
  // The user takes three seconds over the label; the marker keeps the moment of Ctrl+M.
  constexpr double kThreeSeconds = 3.0 / 86400;
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Now() >= after + kThreeSeconds; }, kWaitMs));
  QTest::keyClicks(labels->lineEdit(), "span gas 1000 ppm");
  QTest::keyClick(labels->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerDialog*>() == nullptr; }, kWaitMs));

  const std::string markerFile = analysis::MarkerFilePath(form_->Run().DataFilePath());
  ASSERT_EQ(form_->Run().Markers().size(), 1u);
  const analysis::Marker marker = form_->Run().Markers()[0];
  EXPECT_EQ(marker.label, "span gas 1000 ppm");
  EXPECT_GE(marker.time, before);
  EXPECT_LE(marker.time, after) << "the time of Ctrl+M, not of Enter";
  EXPECT_EQ(FileText(markerFile), QString::fromStdString(marker.timeText + "\tspan gas 1000 ppm\r\n"))
      << "written at once, during the run";
  EXPECT_EQ(marker.timeText, form_->Run().TimeText(marker.time));
  EXPECT_EQ(form_->Chart()->MarkerCount(), 1);

  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 6; }, kWaitMs));
  form_->Run().Tick();
  QTableWidget* responses = form_->Statistics()->ResponseTable();
  ASSERT_TRUE(QTest::qWaitFor([&] { return responses->rowCount() == 1; }, kWaitMs))
      << form_->Statistics()->RangeLabel()->text().toStdString() << " marker " << marker.time << " chart "
      << form_->Chart()->TimeMin() << ".." << form_->Chart()->TimeMax() << " markers "
      << form_->Statistics()->Markers().size();
  EXPECT_EQ(responses->item(0, 1)->text(), "span gas 1000 ppm");
  EXPECT_EQ(responses->item(0, 0)->toolTip(), QString::fromStdString(marker.timeText));

  // The button opens the dialog too, with the last label first in the list but not chosen; Escape sets no
  // marker.
  QTest::mouseClick(form_->MarkButton(), Qt::LeftButton);
  dialog = OpenMarkerDialog(*form_);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->LabelBox()->itemText(0), "span gas 1000 ppm");
  EXPECT_EQ(dialog->LabelBox()->count(), 4);
  EXPECT_EQ(dialog->LabelBox()->currentText(), "");
  QTest::keyClick(dialog->LabelBox()->lineEdit(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerDialog*>() == nullptr; }, kWaitMs));
  EXPECT_EQ(form_->Run().Markers().size(), 1u);

  // Enter with no label chosen takes none; a label picked from the list with the arrow key is taken.
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  QTest::keyClick(form_.get(), Qt::Key_M, Qt::ControlModifier);
  dialog = OpenMarkerDialog(*form_);
  ASSERT_NE(dialog, nullptr);
  QTest::keyClick(dialog->LabelBox()->lineEdit(), Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());
  QTest::keyClick(dialog->LabelBox(), Qt::Key_Down);
  EXPECT_EQ(dialog->Label(), "span gas 1000 ppm");
  QTest::keyClick(dialog->LabelBox()->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerDialog*>() == nullptr; }, kWaitMs));
  ASSERT_EQ(form_->Run().Markers().size(), 2u);
  EXPECT_EQ(form_->Run().Markers()[1].label, "span gas 1000 ppm");
  EXPECT_EQ(FileText(markerFile).count("\r\n"), 2);

  // A discarded data file takes its markers with it.
  boxes_.QueueAnswer(base::BoxAnswer::No);
  form_->StopClicked();
  EXPECT_FALSE(form_->MarkButton()->isEnabled());
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->ClearClicked();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(form_->Run().DataFilePath())));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(markerFile)));
  EXPECT_EQ(form_->Chart()->MarkerCount(), 0);
  EXPECT_TRUE(form_->Run().Markers().empty());
}

// Opens the menu of a marker with a right click at pos on target, or a context-menu event (what the window
// system sends for a right click) to a table, and picks the action named action from it.
void PickFromMarkerMenu(const std::function<void()>& rightClick, const char* action) {
  // Polls from the event loop: the menu runs a loop of its own, which a wait inside a callback would sit under.
  QTimer picker;
  picker.setInterval(10);
  bool picked = false;
  QObject::connect(&picker, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || picked) return;
    picked = true;
    QAction* chosen = menu->findChild<QAction*>(action);
    if (!chosen) {
      ADD_FAILURE() << "no " << action << " in the menu";
      menu->close();
      return;
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
  });
  picker.start();
  rightClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return picked && QApplication::activePopupWidget() == nullptr; }, kWaitMs));
}

TEST_F(MainWindowTest, AMarkerIsRenamedMovedAndDeletedByRightClickAndCtrlZUndoesEachChange) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 2; }, kWaitMs));
  form_->Run().Tick();
  for (const char* label : {"gas on", "gas off"}) {
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_M, Qt::ControlModifier);
    MarkerDialog* dialog = OpenMarkerDialog(*form_);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->LabelBox()->lineEdit(), label);
    QTest::keyClick(dialog->LabelBox()->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerDialog*>() == nullptr; }, kWaitMs));
    // A second apart in the file's times.
    const double set = form_->Run().Markers().back().time;
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Now() >= set + 1.2 / 86400; }, kWaitMs));
  }
  // Records after both markers, so that the chart's range holds them.
  const double last = form_->Run().Markers().back().time;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        auto& store = form_->Run().Measurements();
        return store.Count() > 0 && store.At(store.Count() - 1).DT > last;
      },
      kWaitMs));
  form_->Run().Tick();
  const std::string markerFile = analysis::MarkerFilePath(form_->Run().DataFilePath());
  const QString original = FileText(markerFile);
  auto markers = [&] { return form_->Run().Markers(); };
  ASSERT_EQ(markers().size(), 2u);
  chart::MeasurementChart* chart = form_->Chart();
  auto clickLine = [&](size_t index) {
    return [chart, &markers, index] {
      const QRect area = chart->Plot()->axisRect()->rect();
      const QPoint at(int(std::lround(chart->PixelAtDays(markers()[index].time))), area.center().y());
      QTest::mouseClick(chart->Plot(), Qt::RightButton, {}, at);
    };
  };

  // Rename: the dialog holds the old label, selected; typing replaces it.
  PickFromMarkerMenu(clickLine(0), "markerRename");
  MarkerDialog* rename = OpenMarkerDialog(*form_);
  ASSERT_NE(rename, nullptr);
  EXPECT_EQ(rename->Label(), "gas on");
  QTest::keyClicks(rename->LabelBox()->lineEdit(), "gas on 800 ppm");
  QTest::keyClick(rename->LabelBox()->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerDialog*>() == nullptr; }, kWaitMs));
  EXPECT_EQ(markers()[0].label, "gas on 800 ppm");
  const QString renamed = FileText(markerFile);
  EXPECT_EQ(renamed, QString(original).replace("\tgas on\r\n", "\tgas on 800 ppm\r\n"));

  // Move: the second marker two seconds later, stepped up with the arrow key on the seconds.
  const double secondBefore = markers()[1].time;
  PickFromMarkerMenu(clickLine(1), "markerMove");
  MarkerTimeDialog* move = nullptr;
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return (move = form_->findChild<MarkerTimeDialog*>()) && move->isVisible(); }, kWaitMs));
  move->TimeEdit()->setSelectedSection(QDateTimeEdit::SecondSection);
  QTest::keyClick(move->TimeEdit(), Qt::Key_Up);
  QTest::keyClick(move->TimeEdit(), Qt::Key_Up);
  QTest::keyClick(move->TimeEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->findChild<MarkerTimeDialog*>() == nullptr; }, kWaitMs));
  ASSERT_EQ(markers().size(), 2u);
  EXPECT_EQ(markers()[1].label, "gas off");
  EXPECT_NEAR((markers()[1].time - secondBefore) * 86400, 1.5, 0.51) << "two seconds later, to the second";
  EXPECT_EQ(markers()[1].timeText, form_->Run().TimeText(markers()[1].time));
  const QString moved = FileText(markerFile);
  EXPECT_TRUE(moved.endsWith(QString::fromStdString(markers()[1].timeText) + "\tgas off\r\n")) << moved.toStdString();

  // Delete, from the marker's row in the response table, once the chart reaches past the moved marker.
  const double movedTo = markers()[1].time;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        auto& store = form_->Run().Measurements();
        return store.At(store.Count() - 1).DT > movedTo;
      },
      kWaitMs));
  form_->Run().Tick();
  QTableWidget* responses = form_->Statistics()->ResponseTable();
  ASSERT_TRUE(QTest::qWaitFor([&] { return responses->rowCount() == 2; }, kWaitMs));
  PickFromMarkerMenu(
      [responses] {
        const QRect row = responses->visualItemRect(responses->item(1, 1));
        QContextMenuEvent event(QContextMenuEvent::Mouse, row.center(),
                                responses->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(responses->viewport(), &event);
      },
      "markerDelete");
  ASSERT_EQ(markers().size(), 1u);
  EXPECT_EQ(markers()[0].label, "gas on 800 ppm");
  EXPECT_EQ(FileText(markerFile), renamed.section("\r\n", 0, 0) + "\r\n");
  EXPECT_EQ(chart->MarkerCount(), 1);

  // Ctrl+Z undoes one change at a time, the file along.
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  for (const QString& expected : {moved, renamed, original}) {
    QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(FileText(markerFile), expected);
    EXPECT_EQ(chart->MarkerCount(), 2);
  }
  EXPECT_EQ(markers()[0].label, "gas on");
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  EXPECT_TRUE(boxes_.Texts().size() == 1u) << "no box but the question at Stop";
}

TEST_F(MainWindowTest, AFailedRewriteOfTheMarkerFileKeepsTheOldFileAndSaysSo) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  ASSERT_TRUE(form_->Run().AddMarker("gas on", form_->Run().Now()));
  const std::string markerFile = analysis::MarkerFilePath(form_->Run().DataFilePath());
  const QString before = FileText(markerFile);
  // The rewrite's new file cannot be made: a folder stands in its place.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(markerFile + ".new")));
  ASSERT_TRUE(form_->Run().RenameMarker(0, "gas off"));
  // Only the marker's own box counts: on a loaded machine the running measurement may have posted one too.
  const std::vector<std::string> texts = boxes_.Texts();
  const auto said = std::count_if(texts.begin(), texts.end(), [](const std::string& text) {
    return text.rfind("The marker could not be written: ", 0) == 0;
  });
  EXPECT_EQ(said, 1) << ::testing::PrintToString(texts);
  EXPECT_EQ(FileText(markerFile), before) << "the old file whole";
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
}

TEST_F(MainWindowTest, SaveCopiesTheMarkersAlongAndAKeptFileKeepsThem) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  ASSERT_TRUE(form_->Run().AddMarker("gas off", form_->Run().Now()));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  const std::string markerFile = analysis::MarkerFilePath(form_->Run().DataFilePath());
  const QString dir = folders_.Documents() + "/out.dir";
  QDir().mkpath(dir);
  form_->Run().SaveTo(dir + "/copy");
  EXPECT_EQ(FileText((dir + "/copy.txt.marks.tsv").toStdString()), FileText(markerFile));
  EXPECT_TRUE(FileText(markerFile).endsWith("\tgas off\r\n"));
  form_->Run().SaveTo(QString::fromStdString(form_->Run().DataFilePath()));
  EXPECT_TRUE(FileText(markerFile).endsWith("\tgas off\r\n")) << "saved onto itself, still whole";
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->ClearClicked();
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(markerFile))) << "a kept file keeps its markers";
  EXPECT_EQ(boxes_.Texts().size(), 2u) << "no box about markers";
}

TEST_F(MainWindowTest, AMarkerTheFileRefusesIsKeptAndSaysSo) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  // A folder where the marker file would go: the system refuses the file.
  const QString markerFile = QString::fromStdString(analysis::MarkerFilePath(form_->Run().DataFilePath()));
  ASSERT_TRUE(QDir().mkpath(markerFile));
  ASSERT_TRUE(form_->Run().AddMarker("zero air", form_->Run().Now()));
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_TRUE(QString::fromStdString(boxes_.Texts()[0]).startsWith("The marker could not be written: "))
      << boxes_.Texts()[0];
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Warning);
  EXPECT_EQ(form_->Run().Markers().size(), 1u) << "kept for the chart and the panel";
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
}

// A saved run with a gas step and two markers, reviewed: the panel shows what quarn-analyze prints.
class ReviewPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.filePath("102345(QRN-2.14) 14-3-2026 8%0.txt").toStdString();
    const double start = acquisition::EncodeDayNumber({2026, 3, 14, 8, 0, 0, 0});
    std::string text = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
    for (int t = 0; t < 600; ++t) {
      acquisition::MeasurementRecord r;
      r.DT = start + t / 86400.0;
      const double conc = t < 100   ? 400
                          : t < 350 ? 1400 - 1000 * std::exp(-(t - 100) / 12.0)
                                    : 400 + 1000 * std::exp(-(t - 350) / 12.0);
      r.C2 = static_cast<uint16_t>(std::lround(conc + 3 * std::sin(t * 1.7)));
      r.S = static_cast<uint16_t>(3100 - t / 10);
      r.T = 25;
      r.Uo = static_cast<uint16_t>(1500 + t % 7);
      r.Ur = 1200;
      text += acquisition::DataLine(r, format_);
      if (t == 100 || t == 350) {
        std::string reason;
        ASSERT_TRUE(analysis::AppendMarker(analysis::MarkerFilePath(path_), acquisition::RecordTimeText(r.DT, format_),
                                           t == 100 ? "gas on 800 ppm" : "gas off", reason));
      }
    }
    std::ofstream(path_, std::ios::binary) << text;
    review_ = review::ReviewWindow::Open(QString::fromStdString(path_), boxes_, files_);
    ASSERT_NE(review_, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(review_));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !review_->Loading(); }, kWaitMs));
    panel_ = review_->Statistics();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel_->Figures().Count() == 600; }, kWaitMs));
  }
  void TearDown() override {
    if (review_) review_->close();
  }

  // What quarn-analyze prints as CSV, with TABs for commas: the panel's text for the same range.
  std::string Analyzed(std::vector<std::string> args) {
    args.insert(args.begin(), {path_, "--csv"});
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(analysis::RunAnalyze(args, datafile::ReadOptions{}, out, err), 0) << err.str();
    std::string text = out.str();
    std::replace(text.begin(), text.end(), ',', '\t');
    // The CSV always ends with the gap table; the panel, like its response table, shows only one with rows,
    // and these files have no gaps.
    const std::string noGaps = "\ngap_start\tgap_s\n";
    if (text.ends_with(noGaps)) text.resize(text.size() - noGaps.size());
    return text;
  }

  ScopedLocale locale_{"en_GB"};
  QTemporaryDir dir_;
  acquisition::PlainRegionalFormat format_;
  std::string path_;
  base::ScriptedMessageBoxes boxes_;
  ScriptedFileChooser files_;
  QPointer<review::ReviewWindow> review_;
  chart::StatisticsPanel* panel_ = nullptr;
};

std::string IsoText(double days) {
  const acquisition::LocalDateTime t = acquisition::DecodeDayNumber(days);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return text;
}

TEST_F(ReviewPanelTest, PanelShowsWhatQuarnAnalyzeShowsForTheWholeFileAndForASelectedSpan) {
  EXPECT_EQ(review_->Chart()->MarkerCount(), 2);
  EXPECT_EQ(panel_->Text().toStdString(), Analyzed({}));
  EXPECT_EQ(panel_->ResponseTable()->rowCount(), 2);
  EXPECT_EQ(panel_->ResponseTable()->item(1, 1)->text(), "gas off");
  EXPECT_TRUE(panel_->RangeLabel()->text().startsWith("Visible range")) << panel_->RangeLabel()->text().toStdString();

  // Shift + drag over the middle of the plot selects a span: the figures follow it.
  QCustomPlot* plot = review_->Chart()->Plot();
  const QRect area = plot->axisRect()->rect();
  const QPoint from(area.left() + area.width() * 3 / 10, area.center().y());
  const QPoint to(area.left() + area.width() * 7 / 10, area.center().y());
  QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, from);
  QTest::mouseMove(plot, (from + to) / 2);
  QTest::mouseMove(plot, to);
  QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, to);
  ASSERT_TRUE(review_->Chart()->HasSpan());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel_->Figures().Count() < 600; }, kWaitMs));
  EXPECT_TRUE(panel_->RangeLabel()->text().startsWith("Selected span"));
  const auto [spanFrom, spanTo] = review_->Chart()->Span();
  EXPECT_NEAR(panel_->Figures().Count(), 600 * 0.4, 30);
  EXPECT_EQ(panel_->Text().toStdString(), Analyzed({"--from", IsoText(spanFrom), "--to", IsoText(spanTo)}));
  EXPECT_EQ(panel_->ResponseTable()->rowCount(), 1) << "the marker at 350 s lies in the span, the one at 100 s not";

  // Ctrl+C and the Copy button put the same text on the clipboard.
  QApplication::clipboard()->clear();
  review_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(review_));
  QTest::mouseClick(panel_->StatisticsTable()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QTest::keyClick(panel_->StatisticsTable(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), panel_->Text());
  QApplication::clipboard()->clear();
  QTest::mouseClick(panel_->CopyButton(), Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text(), panel_->Text());

  // A Shift-click without a drag gives the visible range back.
  QTest::mouseClick(plot, Qt::LeftButton, Qt::ShiftModifier, area.center());
  EXPECT_FALSE(review_->Chart()->HasSpan());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel_->Figures().Count() == 600; }, kWaitMs));
}

TEST_F(ReviewPanelTest, AStepStillRisingAtTheEndOfTheSpanIsGreyedWithTheReason) {
  QTableWidget* responses = panel_->ResponseTable();
  // The response table's columns: Marker, Label, T10 s, T50 s, T90 s, Before, After.
  constexpr int kT90 = 4, kBefore = 5, kAfter = 6;
  const QColor grey = panel_->palette().color(QPalette::Disabled, QPalette::Text);
  ASSERT_NE(grey, responses->palette().color(QPalette::Active, QPalette::Text));
  auto greyed = [&](int row, int column) {
    const QTableWidgetItem* item = responses->item(row, column);
    return item->foreground().style() != Qt::NoBrush && item->foreground().color() == grey;
  };
  ASSERT_EQ(responses->rowCount(), 2);
  for (int row = 0; row < 2; ++row) {
    EXPECT_FALSE(greyed(row, kT90)) << "both steps settled over the whole file";
    EXPECT_TRUE(responses->item(row, kT90)->toolTip().isEmpty());
  }
  EXPECT_TRUE(panel_->Text().contains("\tsettled\n"));
  EXPECT_EQ(panel_->Text().count("\tyes\n"), 2);

  // Shift + drag from before the first marker (100 s) to about 180 s: the rise with tau 12 s still moves over the
  // last 60 s of the span.
  QCustomPlot* plot = review_->Chart()->Plot();
  const QRect area = plot->axisRect()->rect();
  const QPoint from(area.left() + area.width() * 5 / 100, area.center().y());
  const QPoint to(area.left() + area.width() * 30 / 100, area.center().y());
  QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, from);
  QTest::mouseMove(plot, (from + to) / 2);
  QTest::mouseMove(plot, to);
  QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, to);
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel_->Steps().size() == 1 && panel_->Figures().Count() < 600; }, kWaitMs));
  const auto [spanFrom, spanTo] = review_->Chart()->Span();
  ASSERT_GT((spanTo - spanFrom) * 86400, 130) << "room for a whole level window after the marker";
  ASSERT_EQ(responses->rowCount(), 1);
  EXPECT_EQ(panel_->Steps()[0].settling, analysis::Settling::StillMoving);
  for (int column : {kT90, kAfter}) {
    EXPECT_TRUE(greyed(0, column)) << column;
    EXPECT_TRUE(
        responses->item(0, column)->toolTip().startsWith("Provisional: the level after the step has not "
                                                         "settled. Over the last 60 s"))
        << responses->item(0, column)->toolTip().toStdString();
  }
  EXPECT_FALSE(greyed(0, kBefore)) << "the level before does not hang on the step";
  EXPECT_EQ(responses->item(0, 1)->toolTip(), "gas on 800 ppm");
  EXPECT_TRUE(panel_->Text().endsWith("\tno\n")) << panel_->Text().toStdString();
  EXPECT_EQ(panel_->Text().toStdString(), Analyzed({"--from", IsoText(spanFrom), "--to", IsoText(spanTo)}));

  // Back to the whole file: settled, and no longer grey.
  QTest::mouseClick(plot, Qt::LeftButton, Qt::ShiftModifier, area.center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel_->Figures().Count() == 600; }, kWaitMs));
  ASSERT_EQ(responses->rowCount(), 2);
  EXPECT_FALSE(greyed(0, kT90));
  EXPECT_TRUE(responses->item(0, kT90)->toolTip().isEmpty());
}

TEST(ReviewMarkersTest, MarkerTimesNamingTheMonthInTheLocalesLanguageRead) {
  ScopedLocale german("de_DE");
  QTemporaryDir dir;
  const std::string path = dir.filePath("run.txt").toStdString();
  std::string reason;
  for (const char* time : {"10. Dez. 2026 14:03:07", "10. Dezember 2026 14:03:08"}) {
    ASSERT_TRUE(analysis::AppendMarker(analysis::MarkerFilePath(path), time, "gas on", reason)) << reason;
  }
  QStringList problems;
  const std::vector<analysis::Marker> markers =
      review::ReadFileMarkers(path, datafile::DateOrder::DayMonthYear, problems);
  EXPECT_TRUE(problems.isEmpty()) << problems.join("\n").toStdString();
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_DOUBLE_EQ(markers[0].time, acquisition::EncodeDayNumber({2026, 12, 10, 14, 3, 7, 0}));
  EXPECT_DOUBLE_EQ(markers[1].time, acquisition::EncodeDayNumber({2026, 12, 10, 14, 3, 8, 0}));
  EXPECT_EQ(markers[0].timeText, "10. Dez. 2026 14:03:07");
}

// The arrow keys on the seconds, minutes or hours of a marker's time step the whole time: past :59 they carry
// into the next minute, hour or day instead of stopping at the end of the section.
TEST(MarkerTimeDialogTest, ArrowKeysCarryAcrossTheEndOfASection) {
  struct Case {
    QDateTimeEdit::Section section;
    acquisition::LocalDateTime from;
    Qt::Key key;
    double seconds;  // the marker moved by
  };
  const Case cases[] = {
      {QDateTimeEdit::SecondSection, {2026, 12, 10, 14, 3, 59, 0}, Qt::Key_Up, 1},
      {QDateTimeEdit::SecondSection, {2026, 12, 31, 23, 59, 59, 0}, Qt::Key_Up, 1},
      {QDateTimeEdit::SecondSection, {2026, 12, 10, 14, 0, 0, 0}, Qt::Key_Down, -1},
      {QDateTimeEdit::MinuteSection, {2026, 12, 10, 14, 59, 30, 0}, Qt::Key_Up, 60},
      {QDateTimeEdit::HourSection, {2026, 12, 10, 0, 30, 0, 0}, Qt::Key_Down, -3600},
  };
  for (const Case& c : cases) {
    const double time = acquisition::UtcFromLocal(acquisition::EncodeDayNumber(c.from)).first;
    MarkerTimeDialog dialog(time, "gas off");
    dialog.show();
    dialog.TimeEdit()->setSelectedSection(c.section);
    QTest::keyClick(dialog.TimeEdit(), c.key);
    EXPECT_NEAR((dialog.Time() - time) * 86400, c.seconds, 1e-3)
        << c.from.hour << ":" << c.from.minute << ":" << c.from.second << " section " << int(c.section);
  }
}

}  // namespace
}  // namespace quarn::ui::testing
