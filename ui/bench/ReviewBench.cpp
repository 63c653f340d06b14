// Review windows offscreen over data files of the 0.5 s interval: the time from opening the file to a window
// that shows every record (the read on its worker, the chart's pyramid and the table filled as it reads), and
// the memory that stays per record while the window is open, against the live display's (display_bench).
// One row per size: lines, file size, time to loaded (median), lines per second, idle and steady resident
// size, peak during the load, bytes per record steady and at the peak, and what stays above the idle size before
// the first window (after a small one) once the last has closed; and the time against `wc -l` counting the same file's
// lines. The files are written first (ISO dates) into a temporary folder and read from the page cache. Usage:
// review_bench [LINES ...] (default 1000000 9000000); QT_QPA_PLATFORM=offscreen.
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
#include "base/testing/LineCount.h"
#include "base/testing/ProcessMemory.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/FileChooser.h"
#include "review/ReviewWindow.h"
#include "ui/bench/BenchRecords.h"

namespace {

using quarn::base::Ms;

using Clock = std::chrono::steady_clock;

using quarn::base::PeakMegabytes;
using quarn::base::ResetPeak;
using quarn::base::ResidentMegabytes;
using quarn::ui::bench::Record;

// A data file of one run with lines records; its size in bytes.
size_t WriteDataFile(const std::string& path, size_t lines) {
  const quarn::acquisition::PlainRegionalFormat format;
  std::ofstream file(path, std::ios::binary);
  std::string block = quarn::acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  size_t bytes = 0;
  for (size_t i = 0; i < lines; ++i) {
    block += quarn::acquisition::DataLine(Record(i), format);
    if (block.size() > (1 << 20)) {
      file << block;
      bytes += block.size();
      block.clear();
    }
  }
  file << block;
  return bytes + block.size();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const std::vector<size_t> sizes = quarn::base::BenchSizes(argc, argv, {1000000, 9000000});
  QTemporaryDir folder;
  quarn::base::ScriptedMessageBoxes boxes;
  quarn::chart::DialogFileChooser files;

  std::printf(
      "| lines | file (MB) | open to loaded, median (ms) | lines per second | idle (MB) | steady (MB) | "
      "peak (MB) | steady above idle per record (bytes) | peak above idle per record (bytes) | "
      "after close (MB) | stays after close (MB) | wc -l (ms) | open to loaded / wc -l |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  // A first small window sets up what any window leaves behind (fonts, styles, caches): what stays after the
  // measured windows is then theirs.
  {
    const std::string path = folder.filePath("warm-up.txt").toStdString();
    WriteDataFile(path, 1000);
    quarn::review::ReviewWindow* window = quarn::review::ReviewWindow::Open(QString::fromStdString(path), boxes, files);
    if (window) {
      while (window->Loading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      window->close();
      QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QApplication::processEvents();
    }
  }
  for (size_t lines : sizes) {
    const std::string path = folder.filePath(QString("run-%1.txt").arg(lines)).toStdString();
    const size_t bytes = WriteDataFile(path, lines);
    const int repeats = lines > 3000000 ? 3 : 5;
    std::vector<double> times;
    double idle = 0, steady = 0, peak = 0, after = 0;
    QApplication::processEvents();
    const double firstIdle = ResidentMegabytes();
    for (int r = 0; r < repeats; ++r) {
      QApplication::processEvents();
      idle = ResidentMegabytes();
      ResetPeak();
      const Clock::time_point start = Clock::now();
      quarn::review::ReviewWindow* window =
          quarn::review::ReviewWindow::Open(QString::fromStdString(path), boxes, files);
      if (!window) {
        std::fprintf(stderr, "not opened: %s\n", boxes.Texts().back().c_str());
        return 1;
      }
      while (window->Loading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      times.push_back(Ms(Clock::now() - start));
      if (window->Records().Count() != lines) {
        std::fprintf(stderr, "read %zu of %zu records\n", window->Records().Count(), lines);
        return 1;
      }
      steady = ResidentMegabytes();
      peak = PeakMegabytes();
      window->close();
      QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QApplication::processEvents();
      after = ResidentMegabytes();
    }
    const double ms = Median(times);
    const double lineCount = quarn::base::LineCountMs(path);
    const double perRecord = 1024.0 * 1024.0 / static_cast<double>(lines);
    std::printf("| %zu | %.0f | %.0f | %.1f million | %.0f | %.0f | %.0f | %.1f | %.1f | %.0f | %.0f | %.0f | %.1f |\n",
                lines, bytes / 1e6, ms, lines / ms / 1000.0, idle, steady, peak, (steady - idle) * perRecord,
                (peak - idle) * perRecord, after, after - firstIdle, lineCount, ms / lineCount);
    std::fflush(stdout);
  }
  return 0;
}
