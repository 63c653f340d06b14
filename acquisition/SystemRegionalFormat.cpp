#include "SystemRegionalFormat.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

#ifndef _WIN32
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#endif

namespace quarn::acquisition {

namespace {

// The calendar fields of a date and time, for the C library's conversions.
std::tm CalendarFields(const LocalDateTime& when) {
  std::tm fields{};
  fields.tm_year = when.year - 1900;
  fields.tm_mon = when.month - 1;
  fields.tm_mday = when.day;
  fields.tm_hour = when.hour;
  fields.tm_min = when.minute;
  fields.tm_sec = when.second;
  return fields;
}

#ifndef _WIN32
bool IsPlainLocale(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// "de_DE.UTF-8@euro" -> "de_DE".
std::string IcuLocaleId(const std::string& name) {
  const size_t end = name.find_first_of(".@");
  return end == std::string::npos ? name : name.substr(0, end);
}

// Milliseconds since 1970 of the fields read as UTC: the formatters work in UTC, so the text is the fields as given.
double UtcMilliseconds(const LocalDateTime& when) {
  std::tm fields = CalendarFields(when);
  return static_cast<double>(timegm(&fields)) * 1000.0;
}
#endif

}  // namespace

std::string EnvironmentTimeLocale() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

#ifdef _WIN32
struct SystemRegionalFormat::Patterns {
  bool plain = false;
};

SystemRegionalFormat::SystemRegionalFormat() : SystemRegionalFormat(std::string()) {}

SystemRegionalFormat::SystemRegionalFormat(const std::string&) : patterns_(std::make_unique<Patterns>()) {}

SystemRegionalFormat::~SystemRegionalFormat() = default;

namespace {
std::string WindowsFormat(const char* format, const LocalDateTime& when) {
  std::tm fields = CalendarFields(when);
  std::tm normalised = fields;
  _mkgmtime(&normalised);
  fields.tm_wday = normalised.tm_wday;
  fields.tm_yday = normalised.tm_yday;
  char text[128];
  const size_t length = std::strftime(text, sizeof text, format, &fields);
  return std::string(text, length);
}
}  // namespace

std::string SystemRegionalFormat::ShortDate(const LocalDateTime& when) const { return WindowsFormat("%x", when); }
std::string SystemRegionalFormat::LongTime(const LocalDateTime& when) const { return WindowsFormat("%X", when); }
#else
struct SystemRegionalFormat::Patterns {
  std::unique_ptr<icu::DateFormat> date;  // null: ISO 8601
  std::unique_ptr<icu::DateFormat> time;
  std::mutex mutex;  // ICU formatters are not safe to share between threads
};

SystemRegionalFormat::SystemRegionalFormat() : SystemRegionalFormat(EnvironmentTimeLocale()) {}

SystemRegionalFormat::SystemRegionalFormat(const std::string& localeName) : patterns_(std::make_unique<Patterns>()) {
  if (IsPlainLocale(localeName)) return;
  const icu::Locale locale(IcuLocaleId(localeName).c_str());
  if (locale.isBogus()) return;
  patterns_->date.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
  // The medium time is the long one without its time zone.
  patterns_->time.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
  if (!patterns_->date || !patterns_->time) {
    patterns_->date.reset();
    patterns_->time.reset();
    return;
  }
  patterns_->date->adoptTimeZone(icu::TimeZone::createTimeZone("UTC"));
  patterns_->time->adoptTimeZone(icu::TimeZone::createTimeZone("UTC"));
}

SystemRegionalFormat::~SystemRegionalFormat() = default;

namespace {
std::string Formatted(std::mutex& mutex, const icu::DateFormat& format, const LocalDateTime& when) {
  icu::UnicodeString text;
  {
    const std::lock_guard lock(mutex);
    format.format(UtcMilliseconds(when), text);
  }
  // Newer regional data puts narrow or no-break spaces before AM/PM; the data file's code page has only the
  // plain blank, which the window wrote before.
  text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x202F)), icu::UnicodeString(" "));
  text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x00A0)), icu::UnicodeString(" "));
  std::string utf8;
  text.toUTF8String(utf8);
  return utf8;
}
}  // namespace

std::string SystemRegionalFormat::ShortDate(const LocalDateTime& when) const {
  if (!patterns_->date) return PlainRegionalFormat().ShortDate(when);
  return Formatted(patterns_->mutex, *patterns_->date, when);
}

std::string SystemRegionalFormat::LongTime(const LocalDateTime& when) const {
  if (!patterns_->time) return PlainRegionalFormat().LongTime(when);
  return Formatted(patterns_->mutex, *patterns_->time, when);
}
#endif

}  // namespace quarn::acquisition
