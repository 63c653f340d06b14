#include "Limits.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "base/Files.h"

namespace quarn::analysis {

namespace {

enum class Bound { Any, ZeroOrMore, AboveZero };

struct KeyInfo {
  std::string_view name;
  std::optional<double> Limits::*field;
  Bound bound;
  std::string_view meaning;  // for a bad value's message
};

const std::array<KeyInfo, 5>& Keys() {
  static const std::array<KeyInfo, 5> keys = {{
      {"sd_max", &Limits::sdMax, Bound::ZeroOrMore, "ppm, 0 or more"},
      {"drift_per_hour_max", &Limits::driftPerHourMax, Bound::ZeroOrMore, "ppm per hour, 0 or more"},
      {"T90_max_s", &Limits::t90MaxSeconds, Bound::AboveZero, "seconds above 0"},
      {"level_after_min", &Limits::levelAfterMin, Bound::Any, "ppm"},
      {"level_after_max", &Limits::levelAfterMax, Bound::Any, "ppm"},
  }};
  return keys;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Where a section began, and the line of each key given in it.
struct Section {
  Limits* limits = nullptr;
  size_t line = 0;  // 0: the general part before any section
  std::array<size_t, 5> keyLines{};
};

std::optional<LimitsError> MinimumAboveMaximum(const Limits& limits, size_t line) {
  if (limits.levelAfterMin && limits.levelAfterMax && *limits.levelAfterMin > *limits.levelAfterMax) {
    return LimitsError{line, "level_after_min lies above level_after_max"};
  }
  return std::nullopt;
}

std::optional<LimitsError> CloseSection(const Section& section, const AcceptanceLimits& all, const std::string& label) {
  // The later of the level_after_min and level_after_max lines (their places in Keys()).
  const size_t keyLine = std::max(section.keyLines[3], section.keyLines[4]);
  if (auto error = MinimumAboveMaximum(*section.limits, keyLine)) return error;
  // Together with the general limits it replaces only in part, a marker's range must still hold a level.
  if (section.line > 0) {
    if (auto error = MinimumAboveMaximum(all.ForStep(label), keyLine ? keyLine : section.line)) return error;
  }
  return std::nullopt;
}

}  // namespace

Limits AcceptanceLimits::ForStep(const std::string& label) const {
  Limits step;
  step.t90MaxSeconds = general.t90MaxSeconds;
  step.levelAfterMin = general.levelAfterMin;
  step.levelAfterMax = general.levelAfterMax;
  const auto found = byLabel.find(label);
  if (found == byLabel.end()) return step;
  const Limits& own = found->second;
  step.sdMax = own.sdMax;
  step.driftPerHourMax = own.driftPerHourMax;
  if (own.t90MaxSeconds) step.t90MaxSeconds = own.t90MaxSeconds;
  if (own.levelAfterMin) step.levelAfterMin = own.levelAfterMin;
  if (own.levelAfterMax) step.levelAfterMax = own.levelAfterMax;
  return step;
}

std::string LimitsError::Text() const { return line == 0 ? message : "line " + std::to_string(line) + ": " + message; }

LimitsReading ParseLimits(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  AcceptanceLimits limits;
  std::map<std::string, size_t> sectionLines;
  Section section{&limits.general};
  std::string label;
  const auto fail = [](size_t line, std::string message) {
    return LimitsReading{std::nullopt, LimitsError{line, std::move(message)}};
  };
  size_t lineNumber = 0;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail(lineNumber, "a section line ends in ]");
      const std::string_view inside = Trim(line.substr(1, line.size() - 2));
      const std::string_view word = inside.substr(0, inside.find_first_of(" \t"));
      if (!SameIgnoringCase(word, "marker")) {
        return fail(lineNumber, "unknown section [" + std::string(inside) + "] (sections are [marker LABEL])");
      }
      const std::string_view named = Trim(inside.substr(word.size()));
      if (named.empty()) return fail(lineNumber, "[marker] names no label ([marker LABEL])");
      if (auto error = CloseSection(section, limits, label)) return {std::nullopt, *error};
      label = std::string(named);
      const auto [at, added] = sectionLines.emplace(label, lineNumber);
      if (!added) {
        return fail(lineNumber,
                    "section [marker " + label + "] is given twice (first at line " + std::to_string(at->second) + ")");
      }
      section = Section{&limits.byLabel[label], lineNumber};
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return fail(lineNumber, "not a key = value line: " + std::string(line));
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    const auto& keys = Keys();
    const auto info =
        std::find_if(keys.begin(), keys.end(), [&](const KeyInfo& k) { return SameIgnoringCase(k.name, key); });
    if (info == keys.end()) {
      return fail(lineNumber, "unknown key \"" + std::string(key) +
                                  "\" (sd_max, drift_per_hour_max, T90_max_s, level_after_min, level_after_max)");
    }
    size_t& keyLine = section.keyLines[static_cast<size_t>(info - keys.begin())];
    if (keyLine != 0) {
      return fail(lineNumber, std::string(info->name) + " is given twice in this section (first at line " +
                                  std::to_string(keyLine) + ")");
    }
    const std::optional<double> number = ParseNumber(value);
    const bool inRange = number && (info->bound == Bound::Any || (info->bound == Bound::ZeroOrMore && *number >= 0) ||
                                    (info->bound == Bound::AboveZero && *number > 0));
    if (!inRange) {
      return fail(lineNumber, "bad value for " + std::string(info->name) + " (" + std::string(info->meaning) + "): \"" +
                                  std::string(value) + "\"");
    }
    keyLine = lineNumber;
    (*section.limits).*(info->field) = *number;
  }
  if (auto error = CloseSection(section, limits, label)) return {std::nullopt, *error};
  // General keys all come before the first section, so each marker section was checked against their final values.
  return {std::move(limits), {}};
}

LimitsReading ReadLimitsFile(const std::string& path) {
  std::string text;
  try {
    if (std::filesystem::is_directory(path)) return {std::nullopt, LimitsError{0, "is a folder"}};
    text = base::ReadWholeFile(path);
  } catch (const std::exception& e) {
    return {std::nullopt, LimitsError{0, e.what()}};
  }
  return ParseLimits(text);
}

}  // namespace quarn::analysis
