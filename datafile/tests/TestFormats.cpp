#include "TestFormats.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "acquisition/DataFile.h"

namespace quarn::datafile::testing {

const std::array<std::string, 12> kGermanShortMonths = {"Jan.", "Feb.", "M\u00e4rz", "Apr.", "Mai",  "Juni",
                                                        "Juli", "Aug.", "Sept.",     "Okt.", "Nov.", "Dez."};
const std::array<std::string, 12> kFinnishShortMonths = {"tammik.", "helmik.",     "maalisk.",     "huhtik.",
                                                         "toukok.", "kes\u00e4k.", "hein\u00e4k.", "elok.",
                                                         "syysk.",  "lokak.",      "marrask.",     "jouluk."};

namespace {

constexpr std::array<const char*, 12> kShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kLong = {"January", "February", "March",     "April",   "May",      "June",
                                               "July",    "August",   "September", "October", "November", "December"};

}  // namespace

std::string TestFormat::ShortDate(const acquisition::LocalDateTime& w) const {
  char text[64];
  switch (locale_) {
    case Locale::EnGb: std::snprintf(text, sizeof text, "%02d/%02d/%04d", w.day, w.month, w.year); break;
    case Locale::DeDe: std::snprintf(text, sizeof text, "%02d.%02d.%04d", w.day, w.month, w.year); break;
    case Locale::EnUs:
    case Locale::EnUsNarrow: std::snprintf(text, sizeof text, "%d/%d/%04d", w.month, w.day, w.year); break;
    case Locale::Iso: std::snprintf(text, sizeof text, "%04d-%02d-%02d", w.year, w.month, w.day); break;
    case Locale::TwoDigitYear: std::snprintf(text, sizeof text, "%02d.%02d.%02d", w.day, w.month, w.year % 100); break;
    case Locale::C: std::snprintf(text, sizeof text, "%d %s %04d", w.day, kShort[w.month - 1], w.year); break;
    case Locale::LongNames: {
      static constexpr std::array<const char*, 7> kWeekdays = {"Saturday",  "Sunday",   "Monday", "Tuesday",
                                                               "Wednesday", "Thursday", "Friday"};
      const int weekday = static_cast<int>(acquisition::EncodeDayNumber({w.year, w.month, w.day, 0, 0, 0, 0})) % 7;
      std::snprintf(text, sizeof text, "%s, %s %02d, %04d", kWeekdays[weekday], kLong[w.month - 1], w.day, w.year);
      break;
    }
    case Locale::UpperDashes: {
      std::string name = kShort[w.month - 1];
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::snprintf(text, sizeof text, "%02d-%s-%02d", w.day, name.c_str(), w.year % 100);
      break;
    }
    case Locale::YearFirstName:
      std::snprintf(text, sizeof text, "%04d-%s-%02d", w.year, kShort[w.month - 1], w.day);
      break;
    case Locale::GermanNames:
      std::snprintf(text, sizeof text, "%d. %s %04d", w.day, kGermanShortMonths[w.month - 1].c_str(), w.year);
      break;
    case Locale::FinnishNames:
      std::snprintf(text, sizeof text, "%d. %s %04d", w.day, kFinnishShortMonths[w.month - 1].c_str(), w.year);
      break;
  }
  return text;
}

std::string TestFormat::LongTime(const acquisition::LocalDateTime& w) const {
  char text[32];
  if (locale_ == Locale::EnUs || locale_ == Locale::EnUsNarrow || locale_ == Locale::LongNames) {
    const int hour = w.hour % 12 == 0 ? 12 : w.hour % 12;
    std::snprintf(text, sizeof text, "%d:%02d:%02d%s%s", hour, w.minute, w.second,
                  locale_ == Locale::EnUsNarrow ? "\u202F" : " ", w.hour < 12 ? "AM" : "PM");
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", w.hour, w.minute, w.second);
  }
  return text;
}

std::vector<acquisition::MeasurementRecord> Records(const acquisition::LocalDateTime& start, int count,
                                                    int stepSeconds) {
  std::vector<acquisition::MeasurementRecord> records;
  const double first = acquisition::EncodeDayNumber(start);
  for (int i = 0; i < count; ++i) {
    acquisition::MeasurementRecord r;
    // As a record is stamped: to the millisecond.
    r.DT = acquisition::EncodeDayNumber(acquisition::DecodeDayNumber(first + (i * stepSeconds + 0.25) / 86400.0));
    const auto v = static_cast<uint16_t>(i * 37 % 65536);
    r.T = static_cast<uint16_t>(20 + i % 10);
    r.S = v;
    r.Ur = static_cast<uint16_t>(65535 - i % 100);
    r.Uo = 1500;
    r.par5 = static_cast<uint16_t>(i);
    r.par6 = 0;
    r.par7 = 10000;
    r.C1 = static_cast<uint16_t>(i * 7);
    r.C2 = static_cast<uint16_t>(400 + i % 50);
    r.K = static_cast<uint16_t>(i % 2);
    records.push_back(r);
  }
  return records;
}

double FileTime(double DT) {
  acquisition::LocalDateTime when = acquisition::DecodeDayNumber(DT);
  when.millisecond = 0;
  return acquisition::EncodeDayNumber(when);
}

std::string RunText(const std::vector<acquisition::MeasurementRecord>& records,
                    const acquisition::RegionalFormat& format, const std::string& port, const std::string& serial,
                    const std::string& firmware) {
  std::string text = acquisition::HeaderBlock(port, serial, firmware);
  for (const auto& record : records) text += acquisition::DataLine(record, format);
  return text;
}

}  // namespace quarn::datafile::testing
