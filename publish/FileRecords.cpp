#include "FileRecords.h"

#include <algorithm>
#include <filesystem>

#include "datafile/DataFileReader.h"
#include "publish/Payload.h"

namespace quarn::publish {

uint64_t ReadRecordsAfter(const std::string& dataFile, uint64_t after, datafile::DateOrder localeOrder,
                          const std::function<bool(const NumberedRecord&)>& take) {
  datafile::ReadOptions options;
  options.localeOrder = localeOrder;
  uint64_t number = 0;
  uint64_t runFirst = 1;
  bool stopped = false;
  NumberedRecord numbered;
  options.runStarted = [&](size_t firstRecord) { runFirst = firstRecord + 1; };
  // The reader looks at this every few thousand lines; the sink ignores what comes meanwhile.
  options.progress = [&](uint64_t, uint64_t) { return !stopped; };
  datafile::ReadDataFile(dataFile, options, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& record : records) {
      if (stopped) return;
      ++number;
      if (number == runFirst) numbered.run = RunText(record.DT);
      if (number <= after) continue;
      numbered.number = number;
      numbered.seq = number - runFirst + 1;
      numbered.record = record;
      if (!take(numbered)) stopped = true;
    }
  });
  return number;
}

std::vector<std::string> SensorDataFiles(const std::string& folder, const std::string& serial) {
  std::vector<std::pair<std::filesystem::file_time_type, std::string>> found;
  std::error_code error;
  const std::string opening = serial + "(";
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(opening) || !name.ends_with(".txt") || !entry.is_regular_file(error)) continue;
    found.emplace_back(entry.last_write_time(error), entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [time, path] : found) paths.push_back(std::move(path));
  return paths;
}

}  // namespace quarn::publish
