#include "CsvExport.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "acquisition/DateTime.h"
#include "base/Files.h"

namespace quarn::datafile {

namespace {

using acquisition::MeasurementRecord;

constexpr size_t kRowsPerProgress = 4096;
constexpr size_t kFlushBytes = 1 << 20;
// The live table's captions, in the order of the record's fields.
constexpr const char* kHeader = "Time,Temp,St,Ur,Um,S,Stz,Stzkt,Conc1,Conc,Status";
constexpr const char* kLineEnd = "\r\n";

std::filesystem::path PathOf(const std::string& utf8) { return std::u8string(utf8.begin(), utf8.end()); }

void AppendRow(std::string& out, const MeasurementRecord& r) {
  const acquisition::LocalDateTime when = acquisition::LocalFromUtc(r.DT);
  char text[160];
  int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", when.year, when.month, when.day,
                             when.hour, when.minute, when.second, when.millisecond);
  char* p = text + length;
  char* const end = text + sizeof text;
  for (uint16_t value : {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}) {
    *p++ = ',';
    p = std::to_chars(p, end, value).ptr;
  }
  out.append(text, p);
  out += kLineEnd;
}

// The rows go to path + ".part", which becomes path only when complete.
class CsvWriter {
 public:
  explicit CsvWriter(const std::string& path) : path_(PathOf(path)), partial_(PathOf(path + ".part")) {
    file_.open(partial_, std::ios::binary | std::ios::trunc);
    if (!file_) Fail();
    buffer_.reserve(kFlushBytes + 256);
    buffer_ += kHeader;
    buffer_ += kLineEnd;
  }
  ~CsvWriter() {
    if (!done_) {
      file_.close();
      std::error_code ignored;
      std::filesystem::remove(partial_, ignored);
    }
  }

  void Row(const MeasurementRecord& record) {
    AppendRow(buffer_, record);
    if (buffer_.size() >= kFlushBytes) Flush();
  }

  void Finish() {
    Flush();
    file_.close();
    if (file_.fail()) Fail();
    std::error_code error;
    std::filesystem::rename(partial_, path_, error);
    if (error) throw DataFileError("The CSV file cannot be written: " + error.message() + ".");
    done_ = true;
  }

 private:
  void Flush() {
    file_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (!file_) Fail();
    buffer_.clear();
  }
  [[noreturn]] void Fail() {
    const int code = errno;
    throw DataFileError("The CSV file cannot be written: " +
                        (code != 0 ? std::generic_category().message(code) : std::string("write failed")) + ".");
  }

  std::filesystem::path path_;
  std::filesystem::path partial_;
  std::ofstream file_;
  std::string buffer_;
  bool done_ = false;
};

}  // namespace

std::string CsvHeaderRow() { return kHeader; }

bool ExportCsv(const std::string& path, const acquisition::MeasurementStore& store, size_t first, size_t last,
               const RowProgress& progress) {
  last = std::min(last, store.Count());
  const size_t total = last > first ? last - first : 0;
  CsvWriter writer(path);
  size_t done = 0;
  bool cancelled = false;
  store.ForEach(first, last, [&](std::span<const MeasurementRecord> records) {
    for (const MeasurementRecord& record : records) {
      if (cancelled) return;
      writer.Row(record);
      if (++done % kRowsPerProgress == 0 && progress && !progress(done, total)) cancelled = true;
    }
  });
  if (cancelled) return false;
  writer.Finish();
  if (progress) progress(total, total);
  return true;
}

bool ExportCsvInTimeRange(const std::string& path, const acquisition::MeasurementStore& store, double fromDT,
                          double toDT, const RowProgress& progress) {
  const size_t total = store.Count();
  CsvWriter writer(path);
  size_t done = 0;
  bool cancelled = false;
  store.ForEach(0, total, [&](std::span<const MeasurementRecord> records) {
    for (const MeasurementRecord& record : records) {
      if (cancelled) return;
      if (record.DT >= fromDT && record.DT <= toDT) writer.Row(record);
      if (++done % kRowsPerProgress == 0 && progress && !progress(done, total)) cancelled = true;
    }
  });
  if (cancelled) return false;
  writer.Finish();
  if (progress) progress(total, total);
  return true;
}

bool ExportCsv(const std::string& path, std::span<const MeasurementRecord> records, const RowProgress& progress) {
  CsvWriter writer(path);
  size_t done = 0;
  for (const MeasurementRecord& record : records) {
    writer.Row(record);
    if (++done % kRowsPerProgress == 0 && progress && !progress(done, records.size())) return false;
  }
  writer.Finish();
  if (progress) progress(records.size(), records.size());
  return true;
}

namespace {

bool ParseRow(std::string_view row, MeasurementRecord& r, acquisition::LocalTimeLine& timeLine) {
  acquisition::LocalDateTime when;
  char tail = 0;
  const std::string time(row.substr(0, row.find(',')));
  if (std::sscanf(time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &when.year, &when.month, &when.day, &when.hour,
                  &when.minute, &when.second, &when.millisecond, &tail) != 7) {
    return false;
  }
  r.DT = timeLine.ToUtc(acquisition::EncodeDayNumber(when));
  const char* p = row.data() + time.size();
  const char* const end = row.data() + row.size();
  for (uint16_t* value : {&r.T, &r.S, &r.Ur, &r.Uo, &r.par5, &r.par6, &r.par7, &r.C1, &r.C2, &r.K}) {
    if (p == end || *p != ',') return false;
    const auto parsed = std::from_chars(p + 1, end, *value);
    if (parsed.ec != std::errc() || parsed.ptr == p + 1) return false;
    p = parsed.ptr;
  }
  return p == end;
}

}  // namespace

std::vector<MeasurementRecord> ReadCsv(const std::string& path) {
  std::string text;
  try {
    text = base::ReadWholeFile(PathOf(path));
  } catch (const base::FileError& error) {
    throw DataFileError(std::string("The CSV file cannot be read: ") + error.what());
  }
  std::vector<MeasurementRecord> records;
  acquisition::LocalTimeLine timeLine;
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    if (++lineNumber == 1) {
      if (line != kHeader) throw DataFileError("The CSV file does not start with the header row.");
      continue;
    }
    if (!ParseRow(line, records.emplace_back(), timeLine))
      throw DataFileError("The CSV file's line " + std::to_string(lineNumber) + " does not read.");
  }
  if (lineNumber == 0) throw DataFileError("The CSV file is empty.");
  return records;
}

}  // namespace quarn::datafile
