// The main window offscreen at its default size in the advanced mode (five series, twelve columns, the whole
// run in view), filled the way a run fills it: display ticks of 1 to 15 new records each (a 9600-baud line at
// the 0.5 s setting brings up to about 14 a second), then 101 more such ticks, each with its repaint. Then the
// same size again in a fresh window in one batch (the display catching up at once), and Clear.
// One row per size: the record count, the tick with its repaint (median, 99th percentile), the full repaint,
// the statistics panel's figures of the whole run in view (median of 51), then memory in MB: idle (window shown, no
// records), steady after the fill, peak during it, the peak above idle per record, the batch fill's time and peak (on
// the same idle size), and what is left after its Clear. Usage: display_bench [N ...]
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/testing/BenchSizes.h"
#include "base/testing/ProcessMemory.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "ui/MainWindow.h"
#include "ui/RunControl.h"
#include "ui/bench/BenchRecords.h"

namespace {

using quarn::base::Ms;

using quarn::base::Percentile;

using Clock = std::chrono::steady_clock;

using quarn::base::PeakMegabytes;
using quarn::base::ResetPeak;
using quarn::base::ResidentMegabytes;
using quarn::ui::bench::Record;

struct Window {
  quarn::base::ScriptedMessageBoxes boxes;
  std::unique_ptr<quarn::ui::MainWindow> form;
  Window() {
    quarn::ui::MainWindowDependencies deps;
    deps.boxes = &boxes;
    deps.documentsFolder = "/tmp/quarn-display-bench";
    form = std::make_unique<quarn::ui::MainWindow>(deps);
    form->show();
    form->ShowAdvancedMode();  // all five series and twelve columns: the heavier case
    form->Chart()->CreateSeries();
    form->Chart()->SetAdvanced(true);
    QApplication::processEvents();
  }
  quarn::acquisition::MeasurementStore& Store() { return form->Run().Measurements(); }
  void TickAndPaint() {
    form->Run().Tick();
    form->repaint();
    QApplication::processEvents();
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::vector<size_t> sizes = quarn::base::BenchSizes(argc, argv, {10000, 100000, 1000000, 1200000});

  std::printf("# %8s %9s %9s %9s %9s %8s %8s %8s %7s %9s %9s %8s\n", "records", "tick ms", "tick p99", "paint ms",
              "stats ms", "idle MB", "steady", "peak", "B/rec", "batch ms", "batch pk", "cleared");
  std::mt19937 random(18);
  std::uniform_int_distribution<size_t> tickSize(1, 15);
  for (size_t n : sizes) {
    double idle, steady, peak, tickMedian, tickP99, paint, statisticsMedian;
    {
      Window window;
      quarn::acquisition::MeasurementStore& store = window.Store();
      idle = ResidentMegabytes();
      ResetPeak();
      size_t appended = 0;
      for (size_t ticks = 0; appended < n; ++ticks) {
        const size_t end = std::min(n, appended + tickSize(random));
        while (appended < end) store.Append(Record(appended++));
        // A display tick with its repaint now and then; in between the chart and the table take each tick's
        // records as a tick hands them over, without the replot that would take hours at the larger sizes.
        if (ticks % 1000 == 0) {
          window.TickAndPaint();
        } else {
          window.form->Chart()->ShowRecords(appended);
          window.form->TableModel()->ShowRecords(appended);
        }
      }
      window.TickAndPaint();
      std::vector<double> ticks, paints;
      for (int k = 0; k < 101; ++k) {
        const size_t end = appended + tickSize(random);
        while (appended < end) store.Append(Record(appended++));
        const auto t0 = Clock::now();
        window.TickAndPaint();
        ticks.push_back(Ms(Clock::now() - t0));
      }
      // The statistics panel's figures of the whole run in view, as each tick makes them.
      std::vector<double> statistics;
      for (int k = 0; k < 51; ++k) {
        const auto t0 = Clock::now();
        window.form->Statistics()->Refresh();
        statistics.push_back(Ms(Clock::now() - t0));
      }
      for (int k = 0; k < 11; ++k) {
        const auto t0 = Clock::now();
        window.form->Chart()->Refresh();
        window.form->repaint();
        paints.push_back(Ms(Clock::now() - t0));
      }
      peak = PeakMegabytes();
      steady = ResidentMegabytes();
      tickMedian = Percentile(ticks, 0.5);
      tickP99 = Percentile(ticks, 0.99);
      paint = Percentile(paints, 0.5);
      statisticsMedian = Percentile(statistics, 0.5);
      window.boxes.QueueAnswer(quarn::base::BoxAnswer::Yes);
      window.form->Run().Clear();
    }

    double batch, batchPeak, cleared;
    {
      Window window;
      const double batchIdle = ResidentMegabytes();
      ResetPeak();
      for (size_t i = 0; i < n; ++i) window.Store().Append(Record(i));
      const auto t0 = Clock::now();
      window.TickAndPaint();
      batch = Ms(Clock::now() - t0);
      batchPeak = PeakMegabytes() - batchIdle + idle;  // on the first window's idle, to compare
      window.boxes.QueueAnswer(quarn::base::BoxAnswer::Yes);
      window.form->Run().Clear();
      QApplication::processEvents();
      cleared = ResidentMegabytes() - batchIdle + idle;
    }
    std::printf("%10zu %9.1f %9.1f %9.1f %9.2f %8.0f %8.0f %8.0f %7.1f %9.0f %9.0f %8.0f\n", n, tickMedian, tickP99,
                paint, statisticsMedian, idle, steady, peak, (peak - idle) * 1048576.0 / double(n), batch, batchPeak,
                cleared);
    std::fflush(stdout);
  }
  return 0;
}
