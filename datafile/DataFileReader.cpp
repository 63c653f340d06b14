#include "DataFileReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <regex>
#include <span>
#include <thread>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "base/CodePage.h"
#include "datafile/DataLines.h"
#include "datafile/LineSource.h"

namespace quarn::datafile {

namespace {

using acquisition::MeasurementRecord;
using namespace lines;

constexpr size_t kBlockBytes = 2 * 1024 * 1024;
constexpr size_t kBatchRecords = 4096;
constexpr std::array<DateOrder, 3> kOrders = {DateOrder::DayMonthYear, DateOrder::MonthDayYear,
                                              DateOrder::YearMonthDay};

using lines::DateSurvey;

// Works on the source's blocks of lines on other threads, as many blocks at once as the machine has cores and one
// more, and hands each block's result to take on the calling thread, in file order. A source of one block is
// worked on in place. False when take said stop.
template <typename Result, typename Work, typename Take>
bool EachBlock(ByteSource& source, size_t blockBytes, const Work& work, const Take& take) {
  struct Job {
    LineBlock block;
    Result result;
  };
  LineBlockReader reader(source, blockBytes);
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2 || source.Size() < blockBytes) {
    Job job;
    while (reader.Next(job.block)) {
      work(job.block, job.result);
      if (!take(job.block, job.result)) return false;
    }
    return true;
  }
  const size_t inFlight = cores + 1;
  std::deque<std::future<std::unique_ptr<Job>>> running;
  std::vector<std::unique_ptr<Job>> spare;  // blocks and results whose memory is used again
  bool more = true;
  for (;;) {
    while (more && running.size() < inFlight) {
      std::unique_ptr<Job> job;
      if (spare.empty()) {
        job = std::make_unique<Job>();
      } else {
        job = std::move(spare.back());
        spare.pop_back();
      }
      if (!reader.Next(job->block)) {
        more = false;
        break;
      }
      running.push_back(std::async(std::launch::async, [&work, job = std::move(job)]() mutable {
        work(job->block, job->result);
        return std::move(job);
      }));
    }
    if (running.empty()) return true;
    std::unique_ptr<Job> job = running.front().get();
    running.pop_front();
    if (!take(job->block, job->result)) {
      for (auto& other : running) other.wait();
      return false;
    }
    spare.push_back(std::move(job));
  }
}

struct Reading {
  DateOrder order;
  bool settled;
  std::string text;
};

Reading ChooseReading(const DateSurvey& survey, DateOrder locale, const ReadOptions& options, int latestYear) {
  if (options.chosenOrder)
    return {*options.chosenOrder, true,
            std::string("dates read ") + DateOrderName(*options.chosenOrder) + ", as chosen"};
  std::array<uint64_t, 3> read{};
  std::array<uint64_t, 3> named{};  // dates that name their month, by the order they were written in
  for (const auto& seen : survey.dates) {
    if (seen.fields.monthNamed) {
      if (DayNumberIn(seen.fields, locale, latestYear))
        named[static_cast<size_t>(seen.fields.writtenOrder)] += seen.lines;
      continue;
    }
    for (size_t o = 0; o < kOrders.size(); ++o)
      if (DayNumberIn(seen.fields, kOrders[o], latestYear)) read[o] += seen.lines;
  }
  const uint64_t best = *std::max_element(read.begin(), read.end());
  // A month name settles which number is the day.
  if (best == 0 && *std::max_element(named.begin(), named.end()) > 0) {
    const DateOrder written =
        kOrders[static_cast<size_t>(std::max_element(named.begin(), named.end()) - named.begin())];
    return {written, true, std::string("dates read ") + DateOrderName(written) + ", the month by its name"};
  }
  if (best == 0 && !survey.unknownMonth.empty())
    return {locale, false,
            "no dates read: the month name \"" + survey.unknownMonth + "\" is neither English nor the locale's"};
  if (best == 0)
    return {locale, false,
            std::string("no dates read; the locale's reading (") + DateOrderName(locale) + ") was tried"};
  size_t fitting = 0;
  std::optional<DateOrder> chosen;
  if (read[static_cast<size_t>(locale)] == best) chosen = locale;
  for (size_t o = 0; o < kOrders.size(); ++o) {
    if (read[o] != best) continue;
    ++fitting;
    if (!chosen) chosen = kOrders[o];
  }
  const bool settled = fitting == 1;
  // The name dates the run's start: where the dates alone leave the order open, the readings that put the first
  // record on that day win.
  if (!settled && options.nameDay && survey.first && !survey.first->monthNamed) {
    {
      std::array<uint64_t, 3> byName{};
      for (size_t o = 0; o < kOrders.size(); ++o)
        if (DayNumberIn(*survey.first, kOrders[o], latestYear) == options.nameDay) byName[o] = read[o] + 1;
      const uint64_t most = *std::max_element(byName.begin(), byName.end());
      if (most > 0) {
        const size_t named = static_cast<size_t>(std::count(byName.begin(), byName.end(), most));
        DateOrder order = locale;
        if (byName[static_cast<size_t>(locale)] != most)
          order = kOrders[static_cast<size_t>(std::max_element(byName.begin(), byName.end()) - byName.begin())];
        return {order, named == 1,
                std::string("dates read ") + DateOrderName(order) +
                    (named == 1 ? ", as the file's name dates the run"
                                : "; neither the file's dates nor its name settle the order")};
      }
    }
  }
  std::string text = std::string("dates read ") + DateOrderName(*chosen);
  if (*chosen == locale)
    text += settled ? ", as the locale writes them" : " (as the locale writes them); the file alone does not settle it";
  else
    text += std::string(settled ? ", although the locale writes them " : " (the locale writes them ") +
            DateOrderName(locale) + (settled ? "" : "); the file alone does not settle it");
  return {*chosen, settled, text};
}

// Second look: header blocks and records, in file order.
class Parser {
 public:
  Parser(ReadResult& result, const RecordSink& sink, const std::function<void(size_t)>& runStarted)
      : result_(result), sink_(sink), runStarted_(runStarted) {
    batch_.reserve(kBatchRecords);
  }

  // Takes a block's lines, the next in the file.
  void Take(const lines::ParsedLines& parsed) {
    size_t next = 0;
    for (const lines::ParsedLines::Other& other : parsed.others) {
      Records(parsed.records, next, other.recordsBefore);
      next = other.recordsBefore;
      result_.lines = lineBase_ + other.line + 1;
      if (other.rule) {
        if (inHeader_) {
          inHeader_ = false;
        } else {
          StartRun({"", "", "", delivered_, 0, result_.lines});
          inHeader_ = true;
        }
      } else if (!inHeader_ || !HeaderField(other.text)) {
        Skip(other.text);
      }
    }
    Records(parsed.records, next, parsed.records.size());
    lineBase_ += parsed.lines;
    result_.lines = lineBase_;
  }

  // Hands the records over. Records that share one whole second arrived at the line's pace within it: they
  // are spread evenly over that second. Unless final, the last second's records wait, as more may follow.
  void Flush(bool final = true) {
    if (batch_.empty()) return;
    size_t end = batch_.size();
    if (!final) {
      while (end > 0 && batch_[end - 1].DT == batch_.back().DT) --end;
      if (end == 0) end = batch_.size();
    }
    SpreadWholeSeconds(std::span<MeasurementRecord>(batch_.data(), end));
    sink_(std::span<const MeasurementRecord>(batch_.data(), end));
    result_.lastDT = batch_[end - 1].DT;
    batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(end));
  }

  size_t Delivered() const { return delivered_; }

 private:
  // The previous run's records go out before the new run is announced.
  void StartRun(const Run& run) {
    if (runStarted_) {
      Flush();
      runStarted_(run.firstRecord);
    }
    result_.runs.push_back(run);
  }

  bool HeaderField(std::string_view line) {
    Run& run = result_.runs.back();
    for (auto [prefix, field] : {std::pair<std::string_view, std::string*>{acquisition::kPortKey, &run.port},
                                 {acquisition::kSerialKey, &run.serialNumber},
                                 {acquisition::kFirmwareKey, &run.firmware}}) {
      if (line.starts_with(prefix)) {
        *field = base::Cp1252ToUtf8(line.substr(prefix.size()));
        return true;
      }
    }
    return false;
  }

  // Records first .. last - 1 of a block, their times as the file's wall clock.
  void Records(const std::vector<MeasurementRecord>& records, size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) {
      inHeader_ = false;
      if (result_.runs.empty()) StartRun({"", "", "", 0, 0, 0});
      MeasurementRecord& r = batch_.emplace_back(records[i]);
      r.DT = timeLine_.ToUtc(r.DT);
      if (delivered_ == 0) result_.firstDT = r.DT;
      result_.lastDT = r.DT;
      ++delivered_;
      if (batch_.size() == kBatchRecords) Flush(false);
    }
  }

  void Skip(std::string_view line) {
    if (result_.skippedLines++ == 0) {
      result_.firstSkippedLine = result_.lines;
      result_.firstSkippedText = ShownText(line);
    }
  }

  ReadResult& result_;
  const RecordSink& sink_;
  const std::function<void(size_t)>& runStarted_;
  std::vector<MeasurementRecord> batch_;
  size_t delivered_ = 0;
  bool inHeader_ = false;
  size_t lineBase_ = 0;  // lines of the blocks taken before
  // The file holds local wall-clock times; records keep instants, in order across a clock change.
  acquisition::LocalTimeLine timeLine_;
};

}  // namespace

MonthNames MonthNamesOf(const ReadOptions& options) {
  MonthNames names;
  names.Add(options.longMonthNames);
  names.Add(options.shortMonthNames);
  return names;
}

namespace {

ReadResult Read(ByteSource& source, const ReadOptions& options, const RecordSink& sink) {
  ReadResult result;
  const uint64_t total = source.Size();
  if (total == 0) throw DataFileError("The file is empty.");
  const auto blockBytes =
      static_cast<size_t>(std::min<uint64_t>(kBlockBytes, std::max<uint64_t>(total + 1, 2 * kLongestLine)));

  // First look: which short dates occur, so that the reading is chosen over the whole file.
  const MonthNames names = MonthNamesOf(options);
  DateSurvey survey;
  const bool surveyed = EachBlock<DateSurvey>(
      source, blockBytes,
      [&](const LineBlock& block, DateSurvey& part) {
        part = {};
        lines::SurveyLines(std::string_view(block.bytes.data(), block.size), names, part);
      },
      [&](const LineBlock& block, const DateSurvey& part) {
        survey.Append(part);
        return !options.progress || options.progress(std::min(total, block.consumed) / 10, total);
      });
  if (!surveyed) {
    result.cancelled = true;
    return result;
  }
  const int latestYear =
      options.nameDay    ? LatestYearAround(acquisition::DecodeDayNumber(static_cast<double>(*options.nameDay)).year)
      : options.fileYear ? LatestYearAround(*options.fileYear)
                         : kDefaultLatestYear;
  result.latestYear = latestYear;
  const Reading reading = ChooseReading(survey, options.localeOrder, options, latestYear);
  result.dateOrder = reading.order;
  result.dateOrderSettledByFile = reading.settled;
  result.dateReading = reading.text;

  // Second look: the lines read on other threads, taken in file order.
  Parser parser(result, sink, options.runStarted);
  const lines::DateReadingChoice choice{reading.order, latestYear, &names};
  const bool complete = EachBlock<lines::ParsedLines>(
      source, blockBytes,
      [&](const LineBlock& block, lines::ParsedLines& parsed) {
        parsed.Clear();
        lines::ParseLines(std::string_view(block.bytes.data(), block.size), block.first, choice, parsed);
      },
      [&](const LineBlock& block, const lines::ParsedLines& parsed) {
        parser.Take(parsed);
        // A file that a run is still writing grows while it is read: progress stops at the size it had.
        return !options.progress || options.progress(std::min(total, total / 10 + block.consumed / 10 * 9), total);
      });
  parser.Flush();
  result.records = parser.Delivered();
  result.cancelled = !complete;
  // A cancelled read counts what it delivered, run by run.
  for (size_t i = 0; i < result.runs.size(); ++i) {
    const size_t next = i + 1 < result.runs.size() ? result.runs[i + 1].firstRecord : result.records;
    result.runs[i].recordCount = next - result.runs[i].firstRecord;
  }
  if (!complete) return result;

  if (result.runs.empty() && result.records == 0)
    throw DataFileError(result.skippedLines == 0
                            ? "The file holds no data: neither a header block nor a measurement line."
                            : "The file is not a data file: it holds neither a header block nor a measurement line.");
  if (options.progress) options.progress(total, total);
  return result;
}

}  // namespace

std::optional<int64_t> NameDay(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  static const std::regex dated(R"((\d{1,2})-(\d{1,2})-(\d{4}) \d{1,2}%\d{1,2}(\.[^.]*)?$)");
  std::smatch match;
  if (!std::regex_search(name, match, dated)) return std::nullopt;
  DateFields fields;
  fields.first = std::stoi(match[1]);
  fields.second = std::stoi(match[2]);
  fields.third = std::stoi(match[3]);
  fields.firstDigits = static_cast<uint8_t>(match[1].length());
  fields.thirdDigits = 4;
  return DayNumberIn(fields, DateOrder::DayMonthYear);
}

namespace {

std::optional<int> ModificationYear(const std::string& path) {
  std::error_code error;
  const auto written =
      std::filesystem::last_write_time(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
  if (error) return std::nullopt;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &seconds) != 0) return std::nullopt;
#else
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
#endif
  return local.tm_year + 1900;
}

}  // namespace

ReadOptions DatedOptions(const std::string& path, const ReadOptions& options) {
  ReadOptions dated = options;
  if (!dated.nameDay) dated.nameDay = NameDay(path);
  if (!dated.fileYear) dated.fileYear = ModificationYear(path);
  return dated;
}

ReadResult ReadDataFile(const std::string& path, const ReadOptions& options, const RecordSink& sink,
                        std::optional<uint64_t> length) {
  FileSource source(path, length);
  return Read(source, DatedOptions(path, options), sink);
}

ReadResult ReadDataFile(const std::string& path, const ReadOptions& options, acquisition::MeasurementStore& store) {
  return ReadDataFile(path, options, [&store](std::span<const MeasurementRecord> records) {
    for (const MeasurementRecord& record : records) store.Append(record);
  });
}

ReadResult ReadDataBytes(std::string_view bytes, const ReadOptions& options, const RecordSink& sink) {
  MemorySource source(bytes);
  return Read(source, options, sink);
}

std::string SkippedLinesText(const ReadResult& result) {
  if (result.skippedLines == 0) return {};
  return std::to_string(result.skippedLines) + (result.skippedLines == 1 ? " line" : " lines") +
         " skipped, the first is line " + std::to_string(result.firstSkippedLine) + ": \"" + result.firstSkippedText +
         "\"";
}

}  // namespace quarn::datafile
