#include <gtest/gtest.h>

#include <qcustomplot.h>

#include "ui/MeasChart.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

constexpr double kDay0 = 46000.0;
constexpr double kSecond = 1.0 / 86400.0;

class ChartZoom : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TFormM>(folders_.Deps(&boxes_, &store_));
    form_->show();
    chart_ = form_->Chart();
  }
  void AddPoints(int count, double value = 5) {
    for (int i = 0; i < count; ++i) chart_->AddPoint(kDay0 + i * kSecond, {value, 1, 2, 3, 4});
    chart_->Refresh();
  }
  Folders folders_;
  ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Missing, 0}};
  std::unique_ptr<TFormM> form_;
  MeasChart* chart_ = nullptr;
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

TEST_F(ChartZoom, TimeZoomWorksOnPointPositions) {
  chart_->CreateSeries();
  AddPoints(101);
  int f = -1, l = -1;
  ASSERT_TRUE(chart_->VisiblePoints(f, l));
  EXPECT_EQ(f, 0);
  EXPECT_EQ(l, 100);

  form_->ZoomXIn();
  EXPECT_FALSE(chart_->AutoTime());
  EXPECT_NEAR(chart_->TimeMin(), chart_->PointX(10), 1e-9);
  EXPECT_NEAR(chart_->TimeMax(), chart_->PointX(90), 1e-9);
  ASSERT_TRUE(chart_->VisiblePoints(f, l));
  EXPECT_EQ(f, 10);
  EXPECT_EQ(l, 90);

  form_->ZoomXOut();  // s = 8: 2..98
  ASSERT_TRUE(chart_->VisiblePoints(f, l));
  EXPECT_EQ(f, 2);
  EXPECT_EQ(l, 98);
  form_->ZoomXOut();  // s = 10, clipped to the points that exist
  ASSERT_TRUE(chart_->VisiblePoints(f, l));
  EXPECT_EQ(f, 0);
  EXPECT_EQ(l, 100);

  form_->ZoomReset();
  EXPECT_TRUE(chart_->AutoTime());
  EXPECT_TRUE(chart_->AutoValue());
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
  form_->AdvanceMode();
  ASSERT_EQ(legend->itemCount(), 5);
  const char* titles[] = {"Conc (t)", "St (t)", "Temp (t)", "Um (t)", "Ur (t)"};
  for (int i = 0; i < 5; ++i) {
    auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->plottable()->name().toStdString(), titles[i]);
    EXPECT_EQ(item->textColor(), MeasChart::kSeries[i].colour) << titles[i];
  }
  // A click on an entry hides its series, a second one shows it again.
  emit chart_->Plot()->legendClick(legend, legend->item(2), nullptr);
  EXPECT_FALSE(chart_->SeriesVisible(2));
  EXPECT_TRUE(chart_->SeriesVisible(1));
  EXPECT_EQ(qobject_cast<QCPPlottableLegendItem*>(legend->item(2))->textColor(), QColor(Qt::gray));
  emit chart_->Plot()->legendClick(legend, legend->item(2), nullptr);
  EXPECT_TRUE(chart_->SeriesVisible(2));
}

// A week of points is drawn from a few thousand: the plot never holds the whole history.
TEST_F(ChartZoom, LongHistoryIsDrawnFromAFewPointsPerPixel) {
  chart_->CreateSeries();
  for (int i = 0; i < 200000; ++i) chart_->AddPoint(kDay0 + i * kSecond, {double(i % 1000), 1, 2, 3, 4});
  chart_->Refresh();
  EXPECT_EQ(chart_->PointCount(), 200000);
  const int drawn = chart_->Plot()->graph(0)->dataCount();
  EXPECT_LT(drawn, 10000);
  // The extremes survive the thinning.
  double lo = 1e9, hi = -1e9;
  for (auto it = chart_->Plot()->graph(0)->data()->constBegin(); it != chart_->Plot()->graph(0)->data()->constEnd(); ++it) {
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

}  // namespace
}  // namespace quarn::ui::testing
