#include "DataFile.h"

#include <filesystem>
#include <system_error>

#include "base/CodePage.h"

namespace quarn::acquisition {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kRule = "================";

}  // namespace

std::string ZeroPadded(int64_t value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

std::string DataFileName(const std::string& saveFolder, const std::string& serialNumber, const std::string& firmware,
                         const LocalDateTime& start) {
  return saveFolder + serialNumber + "(" + firmware + ") " + std::to_string(start.day) + "-" +
         std::to_string(start.month) + "-" + std::to_string(start.year) + " " + std::to_string(start.hour) + "%" +
         std::to_string(start.minute) + ".txt";
}

namespace {

std::string CharacterName(unsigned char c) {
  switch (c) {
    case '\n': return "a line feed (LF)";
    case '\r': return "a carriage return (CR)";
    case '\t': return "a tab";
    default:
      if (c < 0x20 || c == 0x7F) return "the control character " + std::to_string(c);
      return std::string("the character \"") + static_cast<char>(c) + "\"";
  }
}

std::optional<std::string> NamePartProblem(const char* what, std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      return std::string("The ") + what + " holds " + CharacterName(u) +
             ", which a file name may not hold; no data file was created.";
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> DataFileNameProblem(std::string_view serialNumber, std::string_view firmware) {
  if (auto problem = NamePartProblem("serial number", serialNumber)) return problem;
  return NamePartProblem("firmware revision", firmware);
}

std::string RecordTimeText(double DT, const RegionalFormat& format) {
  const LocalDateTime when = LocalFromUtc(DT);
  std::string text = format.ShortDate(when);
  if (when.hour == 0 && when.minute == 0 && when.second == 0) return text;
  return text + " " + format.LongTime(when);
}

std::string RecordTimeTextMs(double DT, const RegionalFormat& format) {
  const LocalDateTime when = LocalFromUtc(DT);
  std::string time = format.LongTime(when);
  // The seconds are the last digits of a long time in every regional format; "AM"/"PM" may follow.
  const size_t lastDigit = time.find_last_of("0123456789");
  const std::string ms = "." + ZeroPadded(when.millisecond, 3);
  if (lastDigit == std::string::npos)
    time += ms;
  else
    time.insert(lastDigit + 1, ms);
  return format.ShortDate(when) + " " + time;
}

std::string LocalDateText(double DT, const RegionalFormat& format) { return format.ShortDate(LocalFromUtc(DT)); }

std::string LocalClockText(double DT, const RegionalFormat& format) { return format.LongTime(LocalFromUtc(DT)); }

std::string LocalDateTimeText(double DT, const RegionalFormat& format) {
  const LocalDateTime when = LocalFromUtc(DT);
  return format.ShortDate(when) + " " + format.LongTime(when);
}

std::string HeaderBlock(const std::string& portNumber, const std::string& serialNumber, const std::string& firmware) {
  std::string text;
  text += kRule;
  text += kLineEnd;
  text += std::string(kPortKey) + "COM" + portNumber + kLineEnd;
  text += std::string(kSerialKey) + serialNumber + kLineEnd;
  text += std::string(kFirmwareKey) + firmware + kLineEnd;
  text += kRule;
  text += kLineEnd;
  return base::Utf8ToCp1252(text);
}

std::string DataLine(const MeasurementRecord& r, const RegionalFormat& format) {
  std::string line = RecordTimeText(r.DT, format);
  for (uint16_t value : {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}) {
    line += '\t';
    line += ZeroPadded(value, 5);
  }
  line += kLineEnd;
  return base::Utf8ToCp1252(line);
}

bool EnsureSaveFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
  if (std::filesystem::is_directory(path, error)) return true;
  std::filesystem::create_directory(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace quarn::acquisition
