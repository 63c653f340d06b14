#include "DataFileReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <span>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "base/CodePage.h"
#include "datafile/LineSource.h"

namespace quarn::datafile {

namespace {

using acquisition::MeasurementRecord;

constexpr size_t kBlockBytes = 4 * 1024 * 1024;
constexpr size_t kLinesPerProgress = 4096;
constexpr size_t kBatchRecords = 4096;
constexpr size_t kShownLineBytes = 200;
constexpr int64_t kMsPerDay = 86'400'000;
constexpr std::array<DateOrder, 3> kOrders = {DateOrder::DayMonthYear, DateOrder::MonthDayYear,
                                              DateOrder::YearMonthDay};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool IsBlank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// The first column: everything before the first TAB; the values after it, when the line looks like a
// data line (ten TABs).
bool SplitDataLine(std::string_view line, std::string_view& column, std::string_view& values) {
  if (line.empty() || !(IsDigit(line[0]) || IsWordByte(line[0]))) return false;
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  column = line.substr(0, tab);
  values = line.substr(tab);
  return true;
}

// The ten values: TAB and one to five digits each, nothing after them but blanks or TABs.
bool ParseValues(std::string_view text, std::array<uint16_t, 10>& values) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (uint16_t& value : values) {
    if (p == end || *p != '\t') return false;
    ++p;
    uint32_t v = 0;
    const char* const start = p;
    while (p != end && IsDigit(*p)) {
      v = v * 10 + static_cast<uint32_t>(*p - '0');
      if (++p - start > 5) return false;
    }
    if (p == start || v > 65535) return false;
    value = static_cast<uint16_t>(v);
  }
  while (p != end && (*p == ' ' || *p == '\t')) ++p;
  return p == end;
}

void SpreadWholeSeconds(std::span<MeasurementRecord> records) {
  for (size_t first = 0; first < records.size();) {
    size_t next = first + 1;
    while (next < records.size() && records[next].DT == records[first].DT) ++next;
    const double dt = records[first].DT;
    const auto ms = static_cast<int64_t>(std::llround(dt * static_cast<double>(kMsPerDay)));
    // Only times after 1899 without milliseconds of their own; earlier days count their fraction backwards.
    if (next - first > 1 && dt >= 0 && ms % 1000 == 0) {
      const double step = 1.0 / static_cast<double>(next - first) / 86400.0;
      for (size_t i = first + 1; i < next; ++i) records[i].DT = dt + static_cast<double>(i - first) * step;
    }
    first = next;
  }
}

bool IsRule(std::string_view line) { return line.size() >= 8 && line.find_first_not_of('=') == std::string_view::npos; }

std::string ShownText(std::string_view line) {
  std::string bytes(line.substr(0, kShownLineBytes));
  for (char& c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = u == '\t' ? ' ' : '?';
  }
  return base::Cp1252ToUtf8(bytes);
}

// The dates the file holds, each with the number of its data lines.
struct DateSurvey {
  struct Seen {
    DateFields fields;
    uint64_t lines = 0;
  };
  std::vector<Seen> dates;
  std::optional<DateFields> first;  // the first data line's date
  std::string unknownMonth;         // the first word where a month name was looked for and none fitted
};

// First look: which short dates occur, so that the reading is chosen over the whole file.
bool SurveyDates(ByteSource& source, std::vector<char>& buffer, const Progress& progress, const MonthNames& names,
                 DateSurvey& survey) {
  std::string cachedPrefix;
  size_t cachedIndex = 0;
  size_t lines = 0;
  const uint64_t total = source.Size();
  return ForEachLine(source, buffer, [&](std::string_view line, uint64_t consumed) {
    if (++lines % kLinesPerProgress == 0 && progress && !progress(std::min(total, consumed) / 10, total)) return false;
    std::string_view column;
    std::string_view values;
    // Ten TABs, or more where the line ends in TABs as an edited file may.
    if (!SplitDataLine(WithoutCr(line), column, values) || std::count(values.begin(), values.end(), '\t') < 10)
      return true;
    if (!cachedPrefix.empty() && column.size() > cachedPrefix.size() && column.starts_with(cachedPrefix) &&
        !IsDigit(column[cachedPrefix.size()])) {
      ++survey.dates[cachedIndex].lines;
      return true;
    }
    size_t end = 0;
    std::string_view unknownWord;
    const auto fields = ReadDateFields(column, end, names, unknownWord);
    if (!fields) {
      if (!unknownWord.empty() && survey.unknownMonth.empty()) survey.unknownMonth = ShownText(unknownWord);
      return true;
    }
    auto found = std::find_if(survey.dates.begin(), survey.dates.end(),
                              [&](const DateSurvey::Seen& seen) { return seen.fields == *fields; });
    if (!survey.first) survey.first = *fields;
    if (found == survey.dates.end()) found = survey.dates.insert(found, {*fields, 0});
    ++found->lines;
    cachedIndex = static_cast<size_t>(found - survey.dates.begin());
    cachedPrefix.assign(column.substr(0, end));
    return true;
  });
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
  Parser(DateOrder order, int latestYear, const MonthNames& names, ReadResult& result, const RecordSink& sink,
         const std::function<void(size_t)>& runStarted)
      : order_(order), latestYear_(latestYear), names_(names), result_(result), sink_(sink), runStarted_(runStarted) {
    batch_.reserve(kBatchRecords);
  }

  void Line(std::string_view raw) {
    // An editor that saved the file may have put a byte-order mark before the first line.
    if (++result_.lines == 1 && raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    const std::string_view line = WithoutCr(raw);
    if (DataLine(line)) return;
    if (IsRule(line)) {
      if (inHeader_) {
        inHeader_ = false;
      } else {
        StartRun({"", "", "", delivered_, 0, result_.lines});
        inHeader_ = true;
      }
      return;
    }
    if (inHeader_ && HeaderField(line)) return;
    if (IsBlank(line)) return;
    Skip(line);
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

  bool DataLine(std::string_view line) {
    std::string_view column;
    std::string_view valueText;
    if (!SplitDataLine(line, column, valueText)) return false;
    std::optional<int64_t> day;
    size_t dateEnd = 0;
    if (!cachedPrefix_.empty() && column.size() >= cachedPrefix_.size() && column.starts_with(cachedPrefix_) &&
        (column.size() == cachedPrefix_.size() || !IsDigit(column[cachedPrefix_.size()]))) {
      day = cachedDay_;
      dateEnd = cachedPrefix_.size();
    } else {
      std::string_view unknownWord;
      const auto fields = ReadDateFields(column, dateEnd, names_, unknownWord);
      if (!fields) return false;
      day = DayNumberIn(*fields, order_, latestYear_);
      cachedPrefix_.assign(column.substr(0, dateEnd));
      cachedDay_ = day;
    }
    if (!day) return false;
    const auto ms = ReadTimeOfDay(column, dateEnd);
    if (!ms) return false;
    std::array<uint16_t, 10> v;
    if (!ParseValues(valueText, v)) return false;
    if (inHeader_) inHeader_ = false;
    if (result_.runs.empty()) StartRun({"", "", "", 0, 0, 0});
    MeasurementRecord& r = batch_.emplace_back();
    r.DT = timeLine_.ToUtc(LocalDayTime(*day, *ms));
    r.T = v[0];
    r.S = v[1];
    r.Ur = v[2];
    r.Uo = v[3];
    r.par5 = v[4];
    r.par6 = v[5];
    r.par7 = v[6];
    r.C1 = v[7];
    r.C2 = v[8];
    r.K = v[9];
    if (delivered_ == 0) result_.firstDT = r.DT;
    result_.lastDT = r.DT;
    ++delivered_;
    if (batch_.size() == kBatchRecords) Flush(false);
    return true;
  }

  void Skip(std::string_view line) {
    if (result_.skippedLines++ == 0) {
      result_.firstSkippedLine = result_.lines;
      result_.firstSkippedText = ShownText(line);
    }
  }

  DateOrder order_;
  int latestYear_;
  const MonthNames& names_;
  ReadResult& result_;
  const RecordSink& sink_;
  const std::function<void(size_t)>& runStarted_;
  std::vector<MeasurementRecord> batch_;
  size_t delivered_ = 0;
  bool inHeader_ = false;
  std::string cachedPrefix_;
  std::optional<int64_t> cachedDay_;
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
  std::vector<char> buffer(
      static_cast<size_t>(std::min<uint64_t>(kBlockBytes, std::max<uint64_t>(total + 1, 2 * kLongestLine))));

  const MonthNames names = MonthNamesOf(options);
  DateSurvey survey;
  if (!SurveyDates(source, buffer, options.progress, names, survey)) {
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

  Parser parser(reading.order, latestYear, names, result, sink, options.runStarted);
  const uint64_t surveyed = total / 10;
  const bool complete = ForEachLine(source, buffer, [&](std::string_view line, uint64_t consumed) {
    parser.Line(line);
    // A file that a run is still writing grows while it is read: progress stops at the size it had.
    if (result.lines % kLinesPerProgress == 0 && options.progress &&
        !options.progress(std::min(total, surveyed + consumed / 10 * 9), total)) {
      return false;
    }
    return true;
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
