// The display tick on long runs: the main window offscreen at its default size, the chart and the table
// already holding N records, then ticks that each add one record (five points, one row) and repaint.
// Prints medians and the process's peak memory. Usage: display_bench [N ...]
#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/testing/ScriptedMessageBoxes.h"
#include "ui/MainWindow.h"
#include "ui/MeasurementChart.h"
#include "ui/RunControl.h"

namespace {

using Clock = std::chrono::steady_clock;

long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

quarn::acquisition::MeasurementRecord Record(size_t i) {
  quarn::acquisition::MeasurementRecord r;
  r.DT = 46000.0 + i * (0.5 / 86400.0);  // a record every 0.5 s
  r.T = 25;
  r.S = static_cast<uint16_t>(3100 + (i * 7) % 50);
  r.Ur = 1200;
  r.Uo = static_cast<uint16_t>(1500 + (i * 3) % 20);
  r.par7 = 10000;
  r.C2 = static_cast<uint16_t>(400 + (i * 13) % 100);
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000, 1000000, 1200000};

  std::printf("%10s %12s %14s %14s %12s\n", "records", "fill [ms]", "tick+paint", "full paint", "peak [MB]");
  for (size_t n : sizes) {
    quarn::base::ScriptedMessageBoxes boxes;
    quarn::ui::MainWindowDependencies deps;
    deps.boxes = &boxes;
    deps.documentsFolder = "/tmp/quarn-display-bench";
    quarn::ui::MainWindow form(deps);
    form.show();
    form.ShowAdvancedMode();  // all five series and twelve columns: the heavier case
    form.Chart()->CreateSeries();
    form.Chart()->SetAdvanced(true);
    QApplication::processEvents();

    auto& store = form.Run().Measurements();
    for (size_t i = 0; i < n; ++i) store.Append(Record(i));
    const auto fillStart = Clock::now();
    form.Run().Tick();
    form.repaint();
    const double fill = Ms(Clock::now() - fillStart);

    std::vector<double> ticks, paints;
    for (int k = 0; k < 31; ++k) {
      store.Append(Record(n + k));
      const auto t0 = Clock::now();
      form.Run().Tick();
      form.repaint();
      QApplication::processEvents();
      ticks.push_back(Ms(Clock::now() - t0));
    }
    for (int k = 0; k < 11; ++k) {
      const auto t0 = Clock::now();
      form.Chart()->Refresh();
      form.repaint();
      paints.push_back(Ms(Clock::now() - t0));
    }
    std::printf("%10zu %12.0f %14.1f %14.1f %12.0f\n", n, fill, Median(ticks), Median(paints),
                PeakKilobytes() / 1024.0);
    std::fflush(stdout);
  }
  return 0;
}
