// The main window's real geometry at the sizes it is made for: the chart keeps half the width beside the
// statistics, the table shows every column with its text whole, the time labels stand apart.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QDockWidget>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTableView>
#include <string>

#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

constexpr double kDay = 1.0;
constexpr double kHour = kDay / 24;
constexpr double kSecond = kDay / 86400;

struct LayoutCase {
  const char* name;
  QSize size;
  bool advanced;
};

const LayoutCase kSizes[] = {
    {"default size, basic", {1017, 736}, false},
    {"default size, advanced", {1017, 736}, true},
    {"1366 x 768, basic", {1366, 768}, false},
    {"1366 x 768, advanced", {1366, 768}, true},
};

// Visible spans of the time axis, from the run's own seconds to several days.
const double kSpans[] = {20 * kSecond, 10 * 60 * kSecond, 5 * kHour, 3 * kDay};

class MainWindowLayoutTest : public MainWindowTest {
 protected:
  // A short run at 0.5 s in the advanced mode, so that every column holds text; kept on Stop.
  void Run() {
    Check();
    form_->ShowAdvancedMode();
    form_->IntervalSlider()->setValue(5);
    form_->StartClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 12; }, kWaitMs));
    boxes_.QueueAnswer(base::BoxAnswer::Yes);
    form_->StopClicked();
    form_->Run().Tick();
  }

  void ShowAt(const LayoutCase& c) {
    if (c.advanced) {
      form_->ShowAdvancedMode();
    } else {
      form_->ShowBasicMode();
    }
    form_->resize(c.size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->size() == c.size; }, kWaitMs));
    QApplication::processEvents();
    Replot();
  }

  // Twice: the second drawing is laid out at the first one's margins.
  void Replot() {
    form_->Chart()->Refresh();
    form_->Chart()->Plot()->replot();
  }

  QDockWidget* Dock() const { return form_->findChild<QDockWidget*>("StatisticsDock"); }

  void ExpectChartHalfTheWindow(const std::string& when) const {
    ASSERT_NE(Dock(), nullptr);
    EXPECT_TRUE(Dock()->isVisible()) << when;
    EXPECT_FALSE(Dock()->isFloating()) << when;
    EXPECT_GE(2 * form_->Chart()->width(), form_->width())
        << when << ": chart " << form_->Chart()->width() << " of " << form_->width();
    // Side by side, not one above the other.
    EXPECT_GE(Dock()->mapTo(form_.get(), QPoint(0, 0)).x(),
              form_->Chart()->mapTo(form_.get(), QPoint(form_->Chart()->width(), 0)).x())
        << when;
  }

  // Every column lies within the view, is wide enough for its caption and for the text of every row in view.
  void ExpectEveryColumnWhole(int columns, const std::string& when) const {
    QTableView* view = form_->Table()->View();
    QHeaderView* header = view->horizontalHeader();
    ASSERT_EQ(view->model()->columnCount(), columns) << when;
    const int viewport = view->viewport()->width();
    const QFontMetrics headerFont(header->font());
    const QFontMetrics cellFont(view->font());
    const int headerMargin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int cellMargin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    for (int c = 0; c < columns; ++c) {
      const std::string column = when + ", column " + std::to_string(c);
      EXPECT_FALSE(header->isSectionHidden(c)) << column;
      const int left = header->sectionViewportPosition(c);
      const int width = header->sectionSize(c);
      EXPECT_GE(left, 0) << column;
      EXPECT_LE(left + width, viewport) << column << " ends at " << left + width << " of " << viewport;
      const QString caption = view->model()->headerData(c, Qt::Horizontal).toString();
      EXPECT_GE(width, headerFont.horizontalAdvance(caption) + headerMargin)
          << column << " \"" << caption.toStdString() << "\"";
      for (int r = 0; r < view->model()->rowCount(); ++r) {
        const QString text = view->model()->index(r, c).data().toString();
        EXPECT_GE(width, cellFont.horizontalAdvance(text) + cellMargin)
            << column << " row " << r << " \"" << text.toStdString() << "\"";
      }
    }
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible()) << when;
  }

  // The time labels as the axis draws them: whole inside the plot, none touching the next.
  void ExpectTimeLabelsApart(const std::string& when, int fewest = 2) const {
    QCustomPlot* plot = form_->Chart()->Plot();
    QCPAxis* axis = plot->xAxis;
    ASSERT_TRUE(axis->tickLabels()) << when;
    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    ASSERT_EQ(ticks.size(), labels.size()) << when;
    ASSERT_GE(ticks.size(), fewest) << when;
    const QFontMetrics metrics(axis->tickLabelFont());
    int previousRight = -1;
    for (int i = 0; i < ticks.size(); ++i) {
      const QRect text = metrics.boundingRect(QRect(), Qt::AlignHCenter | Qt::TextDontClip, labels[i]);
      const int centre = qRound(axis->coordToPixel(ticks[i]));
      const int left = centre - text.width() / 2;
      const int right = left + text.width();
      const std::string label = when + ", label \"" + labels[i].toStdString() + "\"";
      EXPECT_GE(left, 0) << label;
      EXPECT_LE(right, plot->width()) << label;
      if (i > 0) {
        EXPECT_GE(left - previousRight, metrics.averageCharWidth()) << label << " runs into the one before";
      }
      previousRight = right;
    }
  }

  void ExpectLegendClearOfTheCurves(const std::string& when) const {
    QCustomPlot* plot = form_->Chart()->Plot();
    ASSERT_TRUE(plot->legend->visible()) << when;
    EXPECT_FALSE(plot->legend->outerRect().intersects(plot->axisRect()->rect())) << when;
  }
};

TEST_F(MainWindowLayoutTest, EveryModeAtEverySizeShowsTheWholeTableTheTimeLabelsAndHalfTheWidthForTheChart) {
  Run();
  for (const LayoutCase& c : kSizes) {
    ShowAt(c);
    ExpectChartHalfTheWindow(c.name);
    ExpectEveryColumnWhole(c.advanced ? 12 : 4, c.name);
    ExpectLegendClearOfTheCurves(c.name);
    // The run lasted about a second at the test's time scale: one whole second may be all it spans.
    ExpectTimeLabelsApart(std::string(c.name) + ", the run's own range", 1);
    const double end = form_->Chart()->PointX(form_->Chart()->PointCount() - 1);
    for (double span : kSpans) {
      form_->Chart()->SetTimeRange(end - span, end);
      Replot();
      ExpectTimeLabelsApart(std::string(c.name) + ", a span of " + std::to_string(span * 86400) + " s");
    }
    form_->ZoomReset();
    Replot();
  }
}

// Asked to take the whole width (as a drag of the separator all the way asks), the statistics stop where the
// chart keeps half; asked for less, they get it.
TEST_F(MainWindowLayoutTest, TheStatisticsNeverTakeMoreThanHalfTheWindow) {
  Run();
  for (const QSize size : {QSize(1017, 736), QSize(1366, 768)}) {
    ShowAt({"", size, true});
    auto* area = form_->findChild<QMainWindow*>("chartArea");
    ASSERT_NE(area, nullptr);
    const std::string when = std::to_string(size.width()) + " x " + std::to_string(size.height());
    area->resizeDocks({Dock()}, {Dock()->minimumSizeHint().width()}, Qt::Horizontal);
    QApplication::processEvents();
    const int narrow = Dock()->width();
    area->resizeDocks({Dock()}, {area->width()}, Qt::Horizontal);
    QApplication::processEvents();
    EXPECT_GT(Dock()->width(), narrow) << when;
    ExpectChartHalfTheWindow(when + ", the statistics as wide as they go");
  }
}

}  // namespace
}  // namespace quarn::ui::testing
