#pragma once

#include "acquisition/RegionalFormat.h"

namespace quarn::ui {

// The user's regional formats from the default locale (the system's): short date, long time without its time zone.
class QtRegionalFormat : public acquisition::RegionalFormat {
 public:
  std::string ShortDate(const acquisition::LocalDateTime& when) const override;
  std::string LongTime(const acquisition::LocalDateTime& when) const override;
};

}  // namespace quarn::ui
