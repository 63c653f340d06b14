#include "SystemRegionalFormat.h"

#include <ctime>

namespace quarn::acquisition {

#ifdef _WIN32
SystemRegionalFormat::SystemRegionalFormat() = default;
SystemRegionalFormat::~SystemRegionalFormat() = default;
#else
SystemRegionalFormat::SystemRegionalFormat() {
  locale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (locale_ == static_cast<locale_t>(0)) locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
}

SystemRegionalFormat::~SystemRegionalFormat() {
  if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
}
#endif

std::string SystemRegionalFormat::ShortDate(const LocalDateTime& when) const { return Format("%x", when); }

std::string SystemRegionalFormat::LongTime(const LocalDateTime& when) const { return Format("%X", when); }

std::string SystemRegionalFormat::Format(const char* format, const LocalDateTime& when) const {
  std::tm fields{};
  fields.tm_year = when.year - 1900;
  fields.tm_mon = when.month - 1;
  fields.tm_mday = when.day;
  fields.tm_hour = when.hour;
  fields.tm_min = when.minute;
  fields.tm_sec = when.second;
  // Week day and day of the year, for formats that name them; filled without a time zone.
  std::tm normalised = fields;
  char text[128];
#ifdef _WIN32
  _mkgmtime(&normalised);
  fields.tm_wday = normalised.tm_wday;
  fields.tm_yday = normalised.tm_yday;
  const size_t length = std::strftime(text, sizeof text, format, &fields);
#else
  timegm(&normalised);
  fields.tm_wday = normalised.tm_wday;
  fields.tm_yday = normalised.tm_yday;
  const size_t length = locale_ == static_cast<locale_t>(0) ? std::strftime(text, sizeof text, format, &fields)
                                                            : strftime_l(text, sizeof text, format, &fields, locale_);
#endif
  return std::string(text, length);
}

}  // namespace quarn::acquisition
