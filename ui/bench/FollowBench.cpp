// A bench window following a folder offscreen: 16 data files growing by one record every 0.5 s each, as 16
// recorders at the fastest setting write them, for 10 minutes of records. The benchmark writes the lines
// itself and runs faster than real time: each step appends one second of lines (two per file) and runs one
// display tick at once, so a tick always has a second of records to read, index and draw. The window's own
// timer is left out. Prints the tick's median and 99th percentile (reading the new lines of every file, the
// chart's pyramid, the statistics panel and the chart's drawing), the same with the repaint of the window that
// follows it, and checks that every line written was read.
// Usage: follow_bench [FILES [SECONDS]] (default 16 600); QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/DataFile.h"
#include "base/testing/BenchSizes.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/FileChooser.h"
#include "datafile/FollowedFile.h"
#include "review/BenchWindow.h"
#include "ui/bench/BenchRecords.h"

namespace {

using quarn::base::Percentile;

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const int files = argc > 1 ? std::atoi(argv[1]) : 16;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 600;
  QTemporaryDir folder;
  const quarn::acquisition::PlainRegionalFormat format;
  std::vector<std::string> paths;
  for (int f = 0; f < files; ++f) {
    const std::string serial = std::to_string(200001 + f);
    paths.push_back(folder.filePath(QString::fromStdString(serial + "(QRN-2.14) 11-12-2026 6%00.txt")).toStdString());
    std::ofstream(paths.back(), std::ios::binary)
        << quarn::acquisition::HeaderBlock(std::to_string(f + 1), serial, "QRN-2.14");
  }
  quarn::base::ScriptedMessageBoxes boxes;
  quarn::chart::DialogFileChooser chooser;
  auto* window = quarn::review::BenchWindow::Follow(folder.path(), boxes, chooser);
  if (!window) return 1;
  while (window->Loading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);

  std::vector<double> ticks;
  std::vector<double> withRepaint;
  size_t lines = 0;
  for (int s = 0; s < seconds; ++s) {
    for (int f = 0; f < files; ++f) {
      std::ofstream out(paths[static_cast<size_t>(f)], std::ios::binary | std::ios::app);
      for (size_t i = 2 * static_cast<size_t>(s); i < 2 * static_cast<size_t>(s) + 2; ++i) {
        quarn::acquisition::MeasurementRecord record = quarn::ui::bench::Record(i);
        record.C2 = static_cast<uint16_t>(record.C2 + 10 * f);
        out << quarn::acquisition::DataLine(record, format);
      }
    }
    lines += 2;
    const auto start = std::chrono::steady_clock::now();
    window->Tick();
    ticks.push_back(std::chrono::duration<double, std::milli>(window->LastTickTime()).count());
    // The repaint the tick asked for, and the layout it left for the event loop.
    QApplication::processEvents();
    withRepaint.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  // The writers stop: the last second's lines come with the next tick.
  window->Tick();
  size_t read = 0;
  for (int f = 0; f < window->SensorCount(); ++f) read += window->File(f).Store().Count();
  std::printf(
      "| files | records per file | ticks | tick median (ms) | tick p99 (ms) | with repaint median (ms) | "
      "with repaint p99 (ms) | records read |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  std::printf("| %d | %zu | %zu | %.2f | %.2f | %.2f | %.2f | %zu of %zu |\n", window->SensorCount(), lines,
              ticks.size(), Percentile(ticks, 0.5), Percentile(ticks, 0.99), Percentile(withRepaint, 0.5),
              Percentile(withRepaint, 0.99), read, lines * static_cast<size_t>(files));
  window->close();
  return read == lines * static_cast<size_t>(files) ? 0 : 1;
}
