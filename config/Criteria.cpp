#include "config/Criteria.h"

#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "base/CodePage.h"
#include "base/Files.h"

namespace quarn::config {

CriteriaSettings criteriaSettings;

namespace {

constexpr const char* kMissingText = "File criteria NRI not detected !\n\rFurther work is not possible !";
constexpr const char* kBadValueText = "Amiss the settings for the criterion!\n\r";
constexpr const char* kWriteFailedText = "Write setting to file poorly!\n\r";
// A damaged file must not become a row of modal boxes: the first few are shown, then one with the rest's
// count.
constexpr int kBadValueBoxes = 5;

// Lines end in CR LF; LF CR, a bare LF or a bare CR also end one, so a file edited elsewhere reads the same.
std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    lines.push_back(content.substr(start, end - start));
    const bool pair = content.compare(end, 2, "\r\n") == 0 || content.compare(end, 2, "\n\r") == 0;
    start = end + (pair ? 2 : 1);
  }
  return lines;
}

// Key (ASCII letters folded to lower case, nothing trimmed) and value (verbatim) of a line with "=".
std::optional<std::pair<std::string, std::string_view>> SplitSetting(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string key(line.substr(0, equals));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return std::make_pair(std::move(key), line.substr(equals + 1));
}

// A 32-bit signed decimal; no blanks anywhere, an optional sign.
std::optional<int32_t> ParseInteger(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '-') return std::nullopt;
  }
  int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace

// The file is in the program's single-byte code page, Windows-1252 on every platform; the record and the
// boxes hold UTF-8, so text values are converted here. Keys are compared on the raw bytes.
WindowSettings ApplyCriteriaText(std::string_view content, CriteriaSettings& settings, base::MessageBoxes& boxes,
                                 bool readWindowSettings) {
  WindowSettings window;
  int badValues = 0;
  for (std::string_view line : SplitLines(content)) {
    const auto setting = SplitSetting(line);
    if (!setting) continue;
    const std::string& key = setting->first;
    const std::string_view value = setting->second;
    const auto integer = [&]() -> std::optional<int32_t> {
      std::optional<int32_t> parsed = ParseInteger(value);
      if (!parsed && ++badValues <= kBadValueBoxes) {
        boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                   kBadValueText + ("''" + base::Cp1252ToUtf8(value) + "'' is not a valid integer value"));
      }
      return parsed;
    };
    if (key == "kzero2") {
      if (auto v = integer()) settings.zeroCriterion = *v;
    } else if (key == "kscale") {
      if (auto v = integer()) settings.scaleCriterion = *v;
    } else if (key == "mailsupport") {
      settings.supportMail = base::Cp1252ToUtf8(value);
    } else if (key == "ftpsupport") {
      settings.ftpServer = base::Cp1252ToUtf8(value);
    } else if (key == "ftppath") {
      settings.ftpPath = base::Cp1252ToUtf8(value);
    } else if (key == "ftpport") {
      if (auto v = integer()) settings.ftpPort = *v;
    } else if (key == "delay") {
      if (!readWindowSettings) continue;
      if (auto v = integer()) window.intervalPosition = *v;
    } else if (key == "mode") {
      if (!readWindowSettings) continue;
      if (auto v = integer()) window.advancedMode = *v != 0;
    } else if (key == "reconnect") {
      if (!readWindowSettings) continue;
      if (auto v = integer()) window.reconnect = *v == 1;
    }
  }
  if (badValues > kBadValueBoxes) {
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
               kBadValueText + std::to_string(badValues - kBadValueBoxes) + " more lines could not be read");
  }
  return window;
}

std::string RewriteWindowSettings(std::string_view content, int intervalPosition, int modeIndex,
                                  std::optional<bool> reconnect) {
  const std::string delayLine = "delay=" + std::to_string(intervalPosition);
  const std::string modeLine = "mode=" + std::to_string(modeIndex);
  const std::string reconnectLine = std::string("reconnect=") + (reconnect.value_or(false) ? "1" : "0");
  bool delayFound = false;
  bool modeFound = false;
  bool reconnectFound = false;
  std::string out;
  out.reserve(content.size() + delayLine.size() + modeLine.size() + 4);
  for (std::string_view line : SplitLines(content)) {
    const auto setting = SplitSetting(line);
    if (setting && setting->first == "delay") {
      line = delayLine;
      delayFound = true;
    } else if (setting && setting->first == "mode") {
      line = modeLine;
      modeFound = true;
    } else if (setting && setting->first == "reconnect" && reconnect) {
      line = reconnectLine;
      reconnectFound = true;
    }
    out.append(line).append("\r\n");
  }
  if (!delayFound) out.append(delayLine).append("\r\n");
  if (!modeFound) out.append(modeLine).append("\r\n");
  if (!reconnectFound && reconnect.value_or(false)) out.append(reconnectLine).append("\r\n");
  return out;
}

CriteriaFile::CriteriaFile(std::filesystem::path file, base::MessageBoxes& boxes, CriteriaSettings& settings)
    : file_(std::move(file)), boxes_(boxes), settings_(settings) {}

CriteriaRead CriteriaFile::ReadCriteria(bool readWindowSettings) {
  settings_.zeroCriterion = kCriterionNotGiven;
  settings_.scaleCriterion = kCriterionNotGiven;
  settings_.supportMail.clear();
  std::string content;
  try {
    if (!base::FileExists(file_)) {
      boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, kMissingText);
      return {CriteriaResult::Missing, {}};
    }
    content = base::ReadWholeFile(file_);
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok,
                "The criteria file " + base::PathText(file_) + " cannot be read!\n\r" + error.what());
    return {CriteriaResult::Failed, {}};
  }
  return {CriteriaResult::Done, ApplyCriteriaText(content, settings_, boxes_, readWindowSettings)};
}

CriteriaResult CriteriaFile::WriteCriteria(int intervalPosition, int modeIndex, std::optional<bool> reconnect) {
  std::string content;
  try {
    if (!base::FileExists(file_)) return CriteriaResult::Missing;
    content = base::ReadWholeFile(file_);
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok,
                "The criteria file " + base::PathText(file_) + " cannot be read!\n\r" + error.what());
    return CriteriaResult::Failed;
  }
  try {
    base::ReplaceFile(file_, RewriteWindowSettings(content, intervalPosition, modeIndex, reconnect));
  } catch (const base::FileError& error) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, kWriteFailedText + std::string(error.what()));
    return CriteriaResult::Failed;
  }
  return CriteriaResult::Done;
}

}  // namespace quarn::config
