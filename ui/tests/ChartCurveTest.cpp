// The curve as the chart hands it to the plot (what the screen and every export draw), zoomed out over many
// records and at runs of different rates; and the time zoom buttons.
#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QPushButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <vector>

#include "chart/MeasurementChart.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

constexpr double kDay0 = 46000.0;
constexpr double kSecond = 1.0 / 86400.0;

class ChartCurve : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<MainWindow>(folders_.Deps(&boxes_, &store_));
    form_->show();
    chart_ = form_->Chart();
    chart_->SetRecords(&records_);
    chart_->CreateSeries();
  }
  // count records from start (days) every interval seconds, Conc given by the seconds since start.
  void AddRun(double start, double interval, size_t count, const std::function<double(double)>& conc) {
    for (size_t i = 0; i < count; ++i) {
      const double t = double(i) * interval;
      acquisition::MeasurementRecord r;
      r.DT = start + t * kSecond;
      r.C2 = static_cast<uint16_t>(std::lround(conc(t)));
      records_.Append(r);
    }
    chart_->ShowRecords(records_.Count());
  }
  // The points the plot was given for Conc, in days, without the gaps between runs.
  std::vector<std::pair<double, double>> Drawn() const {
    std::vector<std::pair<double, double>> points;
    const auto data = chart_->Plot()->graph(0)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
      if (!std::isnan(it->value)) points.push_back({it->key / 86400.0 + 25569.0, it->value});
    }
    return points;
  }
  void Click(const char* button) {
    auto* widget = form_->findChild<QPushButton*>(QString("zoom") + button);
    ASSERT_TRUE(widget && widget->isVisible()) << button;
    QTest::mouseClick(widget, Qt::LeftButton);
  }

  acquisition::MeasurementStore records_;  // outlives the window, whose chart reads it
  Folders folders_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Missing, 0}};
  std::unique_ptr<MainWindow> form_;
  chart::MeasurementChart* chart_ = nullptr;
};

// A first-order rise to a level and its fall back: 5000 over 400, time constant tau seconds, the fall from
// turn seconds on.
double RiseAndFall(double t, double tau, double turn) {
  const double rise = [&](double s) { return 5000 * (1 - std::exp(-s / tau)); }(std::min(t, turn));
  return 400 + (t <= turn ? rise : rise * std::exp(-(t - turn) / tau));
}

// Where the data rises the drawn curve rises, where it falls the curve falls, and every drawn point holds a
// value the curve has within a hundredth of the view: zoomed out over a million records and zoomed in.
TEST_F(ChartCurve, FirstOrderRiseAndFallStayMonotonicAtEveryZoom) {
  constexpr size_t kCount = 1000000;
  constexpr double kInterval = 0.5, kTurn = kCount * kInterval / 2, kTau = kTurn / 6;
  const auto conc = [&](double t) { return RiseAndFall(t, kTau, kTurn); };
  AddRun(kDay0, kInterval, kCount, conc);
  chart_->Refresh();
  const double turnDays = kDay0 + kTurn * kSecond;
  const double ranges[][2] = {{0, 0},  // the whole run, as followed
                              {kDay0 + 1000 * kSecond, kDay0 + 60000 * kSecond},
                              {turnDays - 30000 * kSecond, turnDays + 50000 * kSecond},
                              {turnDays + 100000 * kSecond, turnDays + 101000 * kSecond}};
  for (const auto& range : ranges) {
    if (range[0] > 0) {
      chart_->SetTimeRange(range[0], range[1]);
      chart_->Refresh();
    }
    SCOPED_TRACE(::testing::Message() << "view " << chart_->TimeMin() << " .. " << chart_->TimeMax());
    const double tolerance = (chart_->TimeMax() - chart_->TimeMin()) / 100;
    const auto points = Drawn();
    ASSERT_GT(points.size(), 100u);
    EXPECT_LE(points.size(), 2u * std::max(250, chart_->Plot()->axisRect()->width()) + 4);
    for (size_t p = 1; p < points.size(); ++p) {
      const auto [x, y] = points[p];
      const auto [x0, y0] = points[p - 1];
      if (x0 < turnDays - tolerance && x < turnDays - tolerance) {
        ASSERT_GE(y, y0) << "rising at " << (x - kDay0) / kSecond << " s";
      }
      if (x0 > turnDays + tolerance) {
        ASSERT_LE(y, y0) << "falling at " << (x - kDay0) / kSecond << " s";
      }
      // On the curve: between its values a tolerance before and after (it is monotonic on each side).
      const auto at = [&](double days) { return conc(std::max(0.0, (days - kDay0) / kSecond)); };
      if (std::abs(x - turnDays) > tolerance) {
        const double a = at(x - tolerance), b = at(x + tolerance);
        ASSERT_GE(y, std::min(a, b) - 1) << (x - kDay0) / kSecond << " s";
        ASSERT_LE(y, std::max(a, b) + 1) << (x - kDay0) / kSecond << " s";
      }
    }
  }
}

// A run at 0.5 s and one at 2 s with the same response side by side: both keep their shape, with as many drawn
// points per hour, because columns are spans of time, not counts of records.
TEST_F(ChartCurve, RunsAtDifferentRatesKeepTheirShapes) {
  constexpr double kHours = 6, kTau = 1800;
  const auto conc = [&](double t) { return 400 + 3000 * (1 - std::exp(-t / kTau)); };
  const double fastStart = kDay0, slowStart = kDay0 + (kHours + 1) / 24;
  AddRun(fastStart, 0.5, size_t(kHours * 7200), conc);
  AddRun(slowStart, 2.0, size_t(kHours * 1800), conc);
  chart_->SetRunBoundaries({{fastStart, "Run 1"}, {slowStart, "Run 2"}});
  chart_->Refresh();
  const double tolerance = (chart_->TimeMax() - chart_->TimeMin()) / 100;
  const auto points = Drawn();
  size_t counts[2] = {0, 0};
  for (size_t p = 0; p < points.size(); ++p) {
    const auto [x, y] = points[p];
    const bool slow = x >= slowStart;
    const double start = slow ? slowStart : fastStart;
    ++counts[slow];
    if (p > 0 && (points[p - 1].first >= slowStart) == slow) {
      ASSERT_GE(y, points[p - 1].second) << (slow ? "2 s" : "0.5 s") << " run at " << (x - start) / kSecond;
    }
    const double t = (x - start) / kSecond, dt = tolerance / kSecond;
    ASSERT_GE(y, conc(std::max(0.0, t - dt)) - 1) << t;
    ASSERT_LE(y, conc(t + dt) + 1) << t;
  }
  ASSERT_GT(counts[0], 100u);
  EXPECT_NEAR(double(counts[1]) / double(counts[0]), 1.0, 0.1) << counts[0] << " and " << counts[1] << " points";
}

// A picture exported wider than the plot on the screen gets the detail of its own width, still true.
TEST_F(ChartCurve, AWiderPictureGetsTheDetailOfItsWidth) {
  AddRun(kDay0, 0.5, 200000, [](double t) { return 400 + 5000 * (1 - std::exp(-t / 20000)); });
  chart_->Refresh();
  const size_t onScreen = Drawn().size();
  chart_->ShowDetailFor(4000);
  const auto points = Drawn();
  EXPECT_GT(points.size(), 4 * onScreen);
  EXPECT_LE(points.size(), 2u * 4000 + 4);
  for (size_t p = 1; p < points.size(); ++p) ASSERT_GE(points[p].second, points[p - 1].second) << p;
  chart_->Refresh();
  EXPECT_EQ(Drawn().size(), onScreen);
}

// "X+" and "X-" zoom by time around the view's centre, with records at two rates: their counts on either side
// of the centre do not matter.
TEST_F(ChartCurve, TimeButtonsZoomByTimeAroundTheCentre) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  AddRun(kDay0, 0.5, 2000, [](double) { return 100; });
  AddRun(kDay0 + 1000 * kSecond, 2.0, 2001, [](double t) { return 200 + t / 100; });
  chart_->Refresh();
  const double first = kDay0, last = kDay0 + 5000 * kSecond;
  ASSERT_NEAR(chart_->TimeMin(), first, 1e-9);
  ASSERT_NEAR(chart_->TimeMax(), last, 1e-9);

  Click("X+");
  EXPECT_FALSE(chart_->AutoTime());
  EXPECT_NEAR(chart_->TimeMin(), first + 500 * kSecond, 1e-8);
  EXPECT_NEAR(chart_->TimeMax(), last - 500 * kSecond, 1e-8);
  Click("X+");
  EXPECT_NEAR(chart_->TimeMin(), first + 900 * kSecond, 1e-8);
  EXPECT_NEAR(chart_->TimeMax(), last - 900 * kSecond, 1e-8);
  // What is drawn follows: the first point is the record just left of the view (or at its edge).
  EXPECT_GE(Drawn().front().first, first + 899 * kSecond);
  EXPECT_LE(Drawn().front().first, first + 900 * kSecond);

  Click("X-");  // undoes the last step
  EXPECT_NEAR(chart_->TimeMin(), first + 500 * kSecond, 1e-8);
  EXPECT_NEAR(chart_->TimeMax(), last - 500 * kSecond, 1e-8);
  Click("X-");
  Click("X-");  // no wider than the records
  EXPECT_NEAR(chart_->TimeMin(), first, 1e-8);
  EXPECT_NEAR(chart_->TimeMax(), last, 1e-8);
  EXPECT_FALSE(chart_->AutoTime());

  Click("Reset");
  EXPECT_TRUE(chart_->AutoTime());
}

}  // namespace
}  // namespace quarn::ui::testing
