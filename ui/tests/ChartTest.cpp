#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/SystemRegionalFormat.h"
#include "chart/MeasurementChart.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

constexpr double kDay0 = 46000.0;
constexpr double kSecond = 1.0 / 86400.0;

class ChartZoom : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<MainWindow>(folders_.Deps(&boxes_, &store_));
    form_->show();
    chart_ = form_->Chart();
    chart_->SetRecords(&records_);
  }
  // A record whose Conc is conc (St 1, Temp 2, Um 3, Ur 4), shown on the chart without a refresh.
  void AddPoint(double x, uint16_t conc) {
    acquisition::MeasurementRecord r;
    r.DT = x;
    r.C2 = conc;
    r.S = 1;
    r.T = 2;
    r.Uo = 3;
    r.Ur = 4;
    records_.Append(r);
    chart_->ShowRecords(records_.Count());
  }
  void AddPoints(int count, uint16_t value = 5) {
    for (int i = 0; i < count; ++i) AddPoint(kDay0 + i * kSecond, value);
    chart_->Refresh();
  }
  acquisition::MeasurementStore records_;  // outlives the window, whose chart reads it
  Folders folders_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Missing, 0}};
  std::unique_ptr<MainWindow> form_;
  chart::MeasurementChart* chart_ = nullptr;
};

TEST_F(ChartZoom, ButtonsDoNothingWithoutSeriesOrPoints) {
  form_->ZoomXIn();
  form_->ZoomYIn();
  EXPECT_TRUE(chart_->AutoTime());
  EXPECT_TRUE(chart_->AutoValue());
  chart_->CreateSeries();
  form_->ZoomXIn();
  form_->ZoomXOut();
  EXPECT_TRUE(chart_->AutoTime()) << "no points yet";
}

TEST_F(ChartZoom, ValueZoomOnWholeNumbers) {
  chart_->CreateSeries();
  AddPoints(10);
  chart_->SetValueRange(0, 1);
  form_->ZoomYIn();
  EXPECT_EQ(chart_->ValueMin(), 0);
  EXPECT_EQ(chart_->ValueMax(), 1);
  form_->ZoomYOut();
  EXPECT_EQ(chart_->ValueMin(), -1);
  EXPECT_EQ(chart_->ValueMax(), 2);
  form_->ZoomReset();
  // Automatic again: the visible series' values with a margin on both sides.
  EXPECT_LT(chart_->ValueMin(), 5);
  EXPECT_GT(chart_->ValueMax(), 5);
}

TEST_F(ChartZoom, LegendListsTheVisibleSeriesInTheirColours) {
  chart_->CreateSeries();
  QCPLegend* legend = chart_->Plot()->legend;
  EXPECT_EQ(legend->itemCount(), 1) << "basic mode lists the concentration only";
  form_->ShowAdvancedMode();
  ASSERT_EQ(legend->itemCount(), 5);
  const char* titles[] = {"Conc (t)", "St (t)", "Temp (t)", "Um (t)", "Ur (t)"};
  for (int i = 0; i < 5; ++i) {
    auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->plottable()->name().toStdString(), titles[i]);
    EXPECT_EQ(item->textColor(), chart::MeasurementChart::kSeries[i].colour) << titles[i];
  }
}

// The axes say what they show: the time, and the fields of the series shown (the sensor gives no units).
TEST_F(ChartZoom, AxesCarryTitles) {
  QCustomPlot* plot = chart_->Plot();
  EXPECT_EQ(plot->xAxis->label().toStdString(), "Time (local)");
  EXPECT_EQ(plot->yAxis->label().toStdString(), "Conc");
  chart_->CreateSeries();
  form_->ShowAdvancedMode();
  EXPECT_EQ(plot->yAxis->label().toStdString(), "Conc, St, Temp, Um, Ur");
  chart_->SetSeriesVisible(1, false);
  EXPECT_EQ(plot->yAxis->label().toStdString(), "Conc, Temp, Um, Ur");
  form_->ShowBasicMode();
  EXPECT_EQ(plot->yAxis->label().toStdString(), "Conc");
}

// Real mouse events on the plot: a click on a legend entry toggles its series and no click leaves automatic
// scaling; only a zoom gesture does, and Reset brings it back.
class ChartMouse : public ChartZoom {
 protected:
  void SetUp() override {
    ChartZoom::SetUp();
    chart_->CreateSeries();
    form_->ShowAdvancedMode();
    AddPoints(50);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  QCustomPlot* Plot() const { return chart_->Plot(); }
  QPoint LegendEntry(int index) const { return Plot()->legend->item(index)->rect().center(); }
  QPoint InPlot(double fx, double fy) const {
    const QRect r = Plot()->axisRect()->rect();
    return QPoint(r.left() + int(r.width() * fx), r.top() + int(r.height() * fy));
  }
  // Points after the current ones, higher than any before: they must be in view while the chart follows.
  void ExpectNewPointsInView() {
    const double last = kDay0 + 200 * kSecond;
    AddPoint(last, 900);
    chart_->Refresh();
    EXPECT_GE(chart_->TimeMax(), last - 1e-9);
    EXPECT_GT(chart_->ValueMax(), 900);
  }
};

TEST_F(ChartMouse, LegendClickHidesAndShowsItsSeries) {
  QTest::mouseClick(Plot(), Qt::LeftButton, {}, LegendEntry(2));
  EXPECT_FALSE(chart_->SeriesVisible(2));
  EXPECT_TRUE(chart_->SeriesVisible(1));
  EXPECT_EQ(qobject_cast<QCPPlottableLegendItem*>(Plot()->legend->item(2))->textColor(), QColor(Qt::gray));
  QTest::mouseClick(Plot(), Qt::LeftButton, {}, LegendEntry(2));
  EXPECT_TRUE(chart_->SeriesVisible(2));
  EXPECT_EQ(qobject_cast<QCPPlottableLegendItem*>(Plot()->legend->item(2))->textColor(),
            chart::MeasurementChart::kSeries[2].colour);
  EXPECT_TRUE(chart_->AutoTime());
  EXPECT_TRUE(chart_->AutoValue());
}

TEST_F(ChartMouse, ClicksKeepTheChartFollowing) {
  const QCPRange before = Plot()->xAxis->range();
  QTest::mouseClick(Plot(), Qt::LeftButton, {}, InPlot(0.3, 0.6));
  QTest::mouseClick(Plot(), Qt::LeftButton, {}, LegendEntry(0));
  QTest::mouseClick(Plot(), Qt::LeftButton, {}, LegendEntry(0));
  // A press and release with a jitter below the drag threshold is a click too.
  QTest::mousePress(Plot(), Qt::LeftButton, {}, InPlot(0.5, 0.5));
  QTest::mouseMove(Plot(), InPlot(0.5, 0.5) + QPoint(1, 1));
  QTest::mouseRelease(Plot(), Qt::LeftButton, {}, InPlot(0.5, 0.5) + QPoint(1, 1));
  EXPECT_EQ(Plot()->xAxis->range(), before);
  EXPECT_TRUE(chart_->AutoTime());
  EXPECT_TRUE(chart_->AutoValue());
  EXPECT_TRUE(chart_->SeriesVisible(0));
  ExpectNewPointsInView();
}

TEST_F(ChartMouse, DraggedRectangleZoomsAndResetFollowsAgain) {
  QTest::mousePress(Plot(), Qt::LeftButton, {}, InPlot(0.2, 0.2));
  QTest::mouseMove(Plot(), InPlot(0.4, 0.5));
  QTest::mouseMove(Plot(), InPlot(0.6, 0.8));
  QTest::mouseRelease(Plot(), Qt::LeftButton, {}, InPlot(0.6, 0.8));
  EXPECT_FALSE(chart_->AutoTime());
  EXPECT_FALSE(chart_->AutoValue());
  EXPECT_GT(chart_->TimeMin(), chart_->PointX(5));
  EXPECT_LT(chart_->TimeMax(), chart_->PointX(45));
  const double zoomedMax = chart_->TimeMax();
  AddPoint(kDay0 + 200 * kSecond, 900);
  chart_->Refresh();
  EXPECT_DOUBLE_EQ(chart_->TimeMax(), zoomedMax) << "a zoomed view stays where the user put it";

  auto* reset = form_->findChild<QPushButton*>("zoomReset");
  ASSERT_TRUE(reset);
  QTest::mouseClick(reset, Qt::LeftButton);
  EXPECT_TRUE(chart_->AutoTime());
  EXPECT_TRUE(chart_->AutoValue());
  ExpectNewPointsInView();
}

TEST_F(ChartMouse, WheelZoomLeavesAutomaticScaling) {
  const QPoint at = InPlot(0.5, 0.5);
  QWheelEvent wheel(at, Plot()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(Plot(), &wheel);
  EXPECT_FALSE(chart_->AutoTime());
  EXPECT_FALSE(chart_->AutoValue());
}

// Horizontal labels with the time of day; the date where it changes and over a view longer than a day.
TEST_F(ChartZoom, TimeAxisShowsTimeOfDayAndDateWhereItChanges) {
  chart_->Plot()->replot();
  EXPECT_FALSE(chart_->Plot()->xAxis->tickLabels()) << "no 1970 dates before the first Start";
  chart_->CreateSeries();
  chart_->Refresh();
  EXPECT_FALSE(chart_->Plot()->xAxis->tickLabels()) << "nor before the first point";
  EXPECT_EQ(chart_->Plot()->xAxis->tickLabelRotation(), 0);

  // 23:50 to 00:10 across midnight.
  const double beforeMidnight = kDay0 + 1.0 - 600 * kSecond;
  for (int i = 0; i <= 20; ++i) AddPoint(beforeMidnight + i * 60 * kSecond, 1);
  chart_->Refresh();
  ASSERT_TRUE(chart_->Plot()->xAxis->tickLabels());
  // The dates as the data files write them.
  const acquisition::SystemRegionalFormat regional;
  const QString firstDay = QString::fromStdString(acquisition::LocalDateText(beforeMidnight, regional));
  const QString secondDay = QString::fromStdString(acquisition::LocalDateText(beforeMidnight + 0.5, regional));
  QVector<QString> labels = chart_->Plot()->xAxis->tickVectorLabels();
  ASSERT_GE(labels.size(), 3);
  EXPECT_TRUE(labels.first().endsWith("\n" + firstDay)) << labels.first().toStdString();
  int withDate = 0;
  for (const QString& label : labels) {
    EXPECT_TRUE(label.contains(":")) << label.toStdString();
    if (label.contains('\n')) ++withDate;
    EXPECT_FALSE(label.contains("1970")) << label.toStdString();
  }
  EXPECT_EQ(withDate, 2) << "the first tick and the first one after midnight";
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QString& l) { return l.endsWith(secondDay); }));

  // Three days in view: every tick carries its date.
  AddPoint(kDay0 + 3.5, 1);
  chart_->Refresh();
  labels = chart_->Plot()->xAxis->tickVectorLabels();
  ASSERT_GE(labels.size(), 2);
  for (const QString& label : labels) EXPECT_TRUE(label.contains('\n')) << label.toStdString();
}

// A week of points is drawn from a few thousand: the plot never holds the whole history.
TEST_F(ChartZoom, LongHistoryIsDrawnFromAFewPointsPerPixel) {
  chart_->CreateSeries();
  for (int i = 0; i < 200000; ++i) AddPoint(kDay0 + i * kSecond, static_cast<uint16_t>(i % 1000));
  chart_->Refresh();
  EXPECT_EQ(chart_->PointCount(), 200000);
  const int drawn = chart_->Plot()->graph(0)->dataCount();
  EXPECT_LT(drawn, 10000);
  // The extremes survive the thinning.
  double lo = 1e9, hi = -1e9;
  for (auto it = chart_->Plot()->graph(0)->data()->constBegin(); it != chart_->Plot()->graph(0)->data()->constEnd();
       ++it) {
    lo = std::min(lo, it->value);
    hi = std::max(hi, it->value);
  }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 999);
  // Zoomed in on 100 points, every one of them is drawn.
  chart_->SetTimeRange(chart_->PointX(1000), chart_->PointX(1099));
  chart_->Refresh();
  EXPECT_EQ(chart_->Plot()->graph(0)->dataCount(), 102) << "the hundred points and one neighbour on each side";
}

// Where the sensor was away the lines break: one NaN between the last point before each gap and the first after
// it, in every series, whether each record is drawn or columns of many are, and nowhere else.
TEST_F(ChartZoom, GapsBreakTheLinesBetweenTheirTwoRecords) {
  chart_->CreateSeries();
  // 20000 records a second apart, away for 60 s after record 5000 and for 7 s after record 15000.
  std::vector<double> times;
  double t = kDay0;
  for (int i = 0; i < 20000; ++i) {
    times.push_back(t);
    AddPoint(t, static_cast<uint16_t>(i % 700));
    t += (i == 4999 ? 61 : i == 14999 ? 8 : 1) * kSecond;
  }
  chart_->SetGaps({{times[4999], times[5000]}, {times[14999], times[15000]}});
  struct View {
    const char* name;
    int first, last;  // records in view
    std::vector<int> gapsAfter;
  };
  for (const View& view : std::vector<View>{{"all, columns of many", 0, 19999, {4999, 14999}},
                                            {"around the first, each record", 4950, 5050, {4999}},
                                            {"no gap in view", 6000, 6100, {}}}) {
    SCOPED_TRACE(view.name);
    chart_->SetTimeRange(times[view.first], times[view.last]);
    chart_->Refresh();
    for (int series = 0; series < chart::MeasurementChart::kSeriesCount; ++series) {
      QCPGraph* graph = chart_->Plot()->graph(series);
      if (!graph->visible()) continue;
      std::vector<double> breaks;
      const auto& data = *graph->data();
      for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
        if (!std::isnan(it->value)) continue;
        ASSERT_NE(it, data.constBegin());
        ASSERT_NE(it + 1, data.constEnd());
        breaks.push_back((it - 1)->key);
      }
      ASSERT_EQ(breaks.size(), view.gapsAfter.size()) << series;
      for (size_t g = 0; g < breaks.size(); ++g) {
        const double before = (times[view.gapsAfter[g]] - 25569.0) * 86400.0;
        const double after = (times[view.gapsAfter[g] + 1] - 25569.0) * 86400.0;
        const auto at = std::find_if(data.constBegin(), data.constEnd(),
                                     [&](const QCPGraphData& p) { return std::isnan(p.value) && p.key > before; });
        EXPECT_DOUBLE_EQ((at - 1)->key, before) << "the last point before gap " << g;
        EXPECT_DOUBLE_EQ((at + 1)->key, after) << "the first point after gap " << g;
      }
    }
  }
  // Without the gaps the lines run through.
  chart_->SetGaps({});
  chart_->SetTimeRange(times[0], times[19999]);
  chart_->Refresh();
  for (const QCPGraphData& point : *chart_->Plot()->graph(0)->data()) EXPECT_FALSE(std::isnan(point.value));
}

}  // namespace
}  // namespace quarn::ui::testing
