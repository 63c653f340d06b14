#include "datafile/DataLines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/CodePage.h"

namespace quarn::datafile::lines {

using acquisition::MeasurementRecord;

namespace {

constexpr size_t kShownLineBytes = 200;

}  // namespace

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
namespace {

// The values as the recorder writes them, five digits each: read without a branch per digit.
bool ParseFixedValues(std::string_view text, std::array<uint16_t, 10>& values) {
  if (text.size() != 60) return false;
  const char* p = text.data();
  for (uint16_t& value : values) {
    const unsigned d0 = static_cast<unsigned char>(p[1]) - '0';
    const unsigned d1 = static_cast<unsigned char>(p[2]) - '0';
    const unsigned d2 = static_cast<unsigned char>(p[3]) - '0';
    const unsigned d3 = static_cast<unsigned char>(p[4]) - '0';
    const unsigned d4 = static_cast<unsigned char>(p[5]) - '0';
    if (p[0] != '\t' || d0 > 9 || d1 > 9 || d2 > 9 || d3 > 9 || d4 > 9) return false;
    const unsigned v = (((d0 * 10 + d1) * 10 + d2) * 10 + d3) * 10 + d4;
    if (v > 65535) return false;
    value = static_cast<uint16_t>(v);
    p += 6;
  }
  return true;
}

}  // namespace

bool ParseValues(std::string_view text, std::array<uint16_t, 10>& values) {
  if (ParseFixedValues(text, values)) return true;
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

void DateSurvey::Append(const DateSurvey& next) {
  for (const Seen& seen : next.dates) {
    auto found = std::find_if(dates.begin(), dates.end(), [&](const Seen& s) { return s.fields == seen.fields; });
    if (found == dates.end()) {
      dates.push_back(seen);
    } else {
      found->lines += seen.lines;
    }
  }
  if (!first) first = next.first;
  if (unknownMonth.empty()) unknownMonth = next.unknownMonth;
}

namespace {

// Calls visit for each line of lines (each followed by its LF), without its LF.
template <typename Visit>
void EachLine(std::string_view lines, Visit&& visit) {
  const char* p = lines.data();
  const char* const end = p + lines.size();
  while (p < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (lineEnd == nullptr) lineEnd = end;
    visit(std::string_view(p, static_cast<size_t>(lineEnd - p)));
    p = lineEnd + 1;
  }
}

}  // namespace

namespace {

// At least ten TABs; at a glance where they stand as the recorder writes them.
bool TenTabs(std::string_view values) {
  if (values.size() == 60) {
    bool fixed = true;
    for (size_t i = 0; i < 60; i += 6) fixed &= values[i] == '\t';
    if (fixed) return true;
  }
  return std::count(values.begin(), values.end(), '\t') >= 10;
}

}  // namespace

void SurveyLines(std::string_view lines, const MonthNames& names, DateSurvey& survey) {
  std::string cachedPrefix;
  size_t cachedIndex = 0;
  EachLine(lines, [&](std::string_view line) {
    std::string_view column;
    std::string_view values;
    // Ten TABs, or more where the line ends in TABs as an edited file may.
    if (!SplitDataLine(WithoutCr(line), column, values) || !TenTabs(values)) return;
    if (!cachedPrefix.empty() && column.size() > cachedPrefix.size() && column.starts_with(cachedPrefix) &&
        !IsDigit(column[cachedPrefix.size()])) {
      ++survey.dates[cachedIndex].lines;
      return;
    }
    size_t end = 0;
    std::string_view unknownWord;
    const auto fields = ReadDateFields(column, end, names, unknownWord);
    if (!fields) {
      if (!unknownWord.empty() && survey.unknownMonth.empty()) survey.unknownMonth = ShownText(unknownWord);
      return;
    }
    auto found = std::find_if(survey.dates.begin(), survey.dates.end(),
                              [&](const DateSurvey::Seen& seen) { return seen.fields == *fields; });
    if (!survey.first) survey.first = *fields;
    if (found == survey.dates.end()) found = survey.dates.insert(found, {*fields, 0});
    ++found->lines;
    cachedIndex = static_cast<size_t>(found - survey.dates.begin());
    cachedPrefix.assign(column.substr(0, end));
  });
}

void ParseLines(std::string_view lines, bool first, const DateReadingChoice& reading, ParsedLines& parsed) {
  std::string cachedPrefix;
  std::optional<int64_t> cachedDay;
  // A data line's record, with its time as written.
  const auto dataLine = [&](std::string_view line) {
    std::string_view column;
    std::string_view valueText;
    if (!SplitDataLine(line, column, valueText)) return false;
    std::optional<int64_t> day;
    size_t dateEnd = 0;
    if (!cachedPrefix.empty() && column.size() >= cachedPrefix.size() && column.starts_with(cachedPrefix) &&
        (column.size() == cachedPrefix.size() || !IsDigit(column[cachedPrefix.size()]))) {
      day = cachedDay;
      dateEnd = cachedPrefix.size();
    } else {
      std::string_view unknownWord;
      const auto fields = ReadDateFields(column, dateEnd, *reading.names, unknownWord);
      if (!fields) return false;
      day = DayNumberIn(*fields, reading.order, reading.latestYear);
      cachedPrefix.assign(column.substr(0, dateEnd));
      cachedDay = day;
    }
    if (!day) return false;
    const auto ms = ReadTimeOfDay(column, dateEnd);
    if (!ms) return false;
    std::array<uint16_t, 10> v;
    if (!ParseValues(valueText, v)) return false;
    MeasurementRecord& r = parsed.records.emplace_back();
    r.DT = LocalDayTime(*day, *ms);
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
    return true;
  };
  size_t index = 0;
  EachLine(lines, [&](std::string_view raw) {
    const size_t line = index++;
    // An editor that saved the file may have put a byte-order mark before the first line.
    if (first && line == 0 && raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    const std::string_view text = WithoutCr(raw);
    if (dataLine(text)) return;
    if (IsRule(text)) {
      parsed.others.push_back({line, parsed.records.size(), true, {}});
    } else if (!IsBlank(text)) {
      parsed.others.push_back({line, parsed.records.size(), false, std::string(text)});
    }
  });
  parsed.lines = index;
}

}  // namespace quarn::datafile::lines
