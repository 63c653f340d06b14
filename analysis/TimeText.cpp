#include "TimeText.h"

#include <string>

#include "acquisition/DateTime.h"
#include "base/CodePage.h"

namespace quarn::analysis {

std::optional<double> ParseTimeText(std::string_view text, datafile::DateOrder order, const datafile::MonthNames& names,
                                    int latestYear) {
  // The names are kept, and the date is read, in the data file's code page.
  return datafile::ReadDateTime(base::Utf8ToCp1252(text), order, names, latestYear);
}

double MarkerInstants::Of(double localDT) {
  const acquisition::UtcInstants instants = acquisition::UtcFromLocal(localDT);
  double picked = acquisition::PickInstant(instants, previous_);
  if (instants.second && span_) {
    const auto within = [this](double t) { return t >= span_->first && t <= span_->second; };
    if (within(instants.first) != within(*instants.second))
      picked = within(instants.first) ? instants.first : *instants.second;
  }
  previous_ = picked;
  return picked;
}

}  // namespace quarn::analysis
