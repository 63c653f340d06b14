// Loading data files for review: writes files of the given line counts (a run at the 0.5 s interval, en_GB
// dates, as the recorder writes them) into a temporary folder, loads each a few times into a fresh store and
// prints the median load time, the lines per second, and the memory per record (the store's reserve, and the
// process's resident size grown by the load), and both times against `wc -l` counting the same file's lines in
// the same run. The files are read from the page cache, as right after a copy.
// Usage: datafile_bench [LINES ...]   (default 1000000 9000000)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "base/testing/BenchSizes.h"
#include "base/testing/LineCount.h"
#include "base/testing/ProcessMemory.h"
#include "datafile/DataFileReader.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace quarn;

class EnGbFormat : public acquisition::RegionalFormat {
 public:
  std::string ShortDate(const acquisition::LocalDateTime& w) const override {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", w.day, w.month, w.year);
    return text;
  }
  std::string LongTime(const acquisition::LocalDateTime& w) const override {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", w.hour, w.minute, w.second);
    return text;
  }
};

uint64_t WriteFile(const std::string& path, size_t lines) {
  std::ofstream file(path, std::ios::binary);
  const EnGbFormat format;
  std::string block = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  const double start = acquisition::EncodeDayNumber({2026, 12, 1, 8, 0, 0, 0});
  for (size_t i = 0; i + 5 < lines; ++i) {
    acquisition::MeasurementRecord r;
    r.DT = start + static_cast<double>(i) * 0.5 / 86400.0;
    r.T = static_cast<uint16_t>(25 + i % 3);
    r.S = static_cast<uint16_t>(3100 + i % 17);
    r.Ur = 1200;
    r.Uo = static_cast<uint16_t>(1500 + i % 5);
    r.par7 = 10000;
    r.C1 = static_cast<uint16_t>(i % 65536);
    r.C2 = static_cast<uint16_t>(400 + i % 200);
    block += acquisition::DataLine(r, format);
    if (block.size() > (4 << 20)) {
      file << block;
      block.clear();
    }
  }
  file << block;
  file.close();
  return std::filesystem::file_size(path);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<size_t> sizes = quarn::base::BenchSizes(argc, argv, {1'000'000, 9'000'000});

  char pattern[] = "/tmp/quarn-datafile-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  std::printf("%10s %8s %10s %12s %10s %12s %12s %8s %10s %10s\n", "lines", "MB", "load ms", "lines/s", "parse ms",
              "store B/rec", "RSS B/rec", "wc ms", "load/wc", "parse/wc");
  for (const size_t lines : sizes) {
    const std::string path = dir + "/run.txt";
    const uint64_t bytes = WriteFile(path, lines);
    const int runs = lines > 2'000'000 ? 3 : 5;
    std::vector<double> loads;
    std::vector<double> parses;
    double storeBytes = 0;
    double residentBytes = 0;
    size_t records = 0;
    for (int run = 0; run < runs; ++run) {
      // Into the store, as the review window loads.
      const double before = base::ResidentMegabytes();
      auto store = std::make_unique<acquisition::MeasurementStore>();
      const auto start = Clock::now();
      const datafile::ReadResult result = datafile::ReadDataFile(path, {}, *store);
      loads.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      records = store->Count();
      storeBytes = static_cast<double>(store->ReservedBytes()) / static_cast<double>(records);
      residentBytes = (base::ResidentMegabytes() - before) * 1024 * 1024 / static_cast<double>(records);
      if (result.skippedLines != 0 || records + 5 != lines) {
        std::fprintf(stderr, "read %zu records, skipped %zu\n", records, result.skippedLines);
        return 1;
      }
      store.reset();
      // The reading alone, records handed to a sink that keeps nothing.
      size_t seen = 0;
      const auto parseStart = Clock::now();
      datafile::ReadDataFile(path, {},
                             [&](std::span<const acquisition::MeasurementRecord> batch) { seen += batch.size(); });
      parses.push_back(std::chrono::duration<double, std::milli>(Clock::now() - parseStart).count());
    }
    std::sort(loads.begin(), loads.end());
    std::sort(parses.begin(), parses.end());
    const double load = loads[loads.size() / 2];
    const double parse = parses[parses.size() / 2];
    const double count = base::LineCountMs(path);
    std::printf("%10zu %8.0f %10.0f %12.0f %10.0f %12.1f %12.1f %8.0f %10.1f %10.1f\n", lines,
                static_cast<double>(bytes) / 1e6, load, static_cast<double>(lines) / (load / 1000), parse, storeBytes,
                residentBytes, count, load / count, parse / count);
    std::filesystem::remove(path);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
