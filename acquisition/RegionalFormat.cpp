#include "RegionalFormat.h"

#include <cstdio>

namespace quarn::acquisition {

std::string PlainRegionalFormat::ShortDate(const LocalDateTime& when) const {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", when.year, when.month, when.day);
  return text;
}

std::string PlainRegionalFormat::LongTime(const LocalDateTime& when) const {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.hour, when.minute, when.second);
  return text;
}

}  // namespace quarn::acquisition
