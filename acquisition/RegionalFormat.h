#pragma once

#include <string>

#include "acquisition/DateTime.h"

namespace quarn::acquisition {

// The user's regional date and time formats, as UTF-8 text. The window supplies one built on the
// system locale; the logic here never depends on a GUI toolkit.
class RegionalFormat {
 public:
  virtual ~RegionalFormat() = default;
  // The short date format, e.g. 05.09.2013 or 9/5/2013.
  virtual std::string ShortDate(const LocalDateTime& when) const = 0;
  // The long time format without any time-zone part and without milliseconds, e.g. 14:03:07.
  virtual std::string LongTime(const LocalDateTime& when) const = 0;
};

// A fixed, locale-independent format: 2013-09-05 and 14:03:07. For tests and programs without a locale.
class PlainRegionalFormat : public RegionalFormat {
 public:
  std::string ShortDate(const LocalDateTime& when) const override;
  std::string LongTime(const LocalDateTime& when) const override;
};

}  // namespace quarn::acquisition
