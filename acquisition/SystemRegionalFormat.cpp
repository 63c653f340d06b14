#include "SystemRegionalFormat.h"

#include <ctime>

namespace quarn::record {

SystemRegionalFormat::SystemRegionalFormat() {
  locale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (locale_ == static_cast<locale_t>(0)) locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
}

SystemRegionalFormat::~SystemRegionalFormat() {
  if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
}

std::string SystemRegionalFormat::ShortDate(const acquisition::LocalDateTime& when) const { return Format("%x", when); }

std::string SystemRegionalFormat::LongTime(const acquisition::LocalDateTime& when) const { return Format("%X", when); }

std::string SystemRegionalFormat::Format(const char* format, const acquisition::LocalDateTime& when) const {
  std::tm fields{};
  fields.tm_year = when.year - 1900;
  fields.tm_mon = when.month - 1;
  fields.tm_mday = when.day;
  fields.tm_hour = when.hour;
  fields.tm_min = when.minute;
  fields.tm_sec = when.second;
  // Week day and day of the year, for formats that name them; timegm fills them without a time zone.
  std::tm normalised = fields;
  timegm(&normalised);
  fields.tm_wday = normalised.tm_wday;
  fields.tm_yday = normalised.tm_yday;
  char text[128];
  const size_t length = locale_ == static_cast<locale_t>(0) ? std::strftime(text, sizeof text, format, &fields)
                                                            : strftime_l(text, sizeof text, format, &fields, locale_);
  return std::string(text, length);
}

}  // namespace quarn::record
