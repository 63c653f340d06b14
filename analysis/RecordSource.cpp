#include "RecordSource.h"

#include <algorithm>

namespace quarn::analysis {

acquisition::MeasurementRecord RecordSource::At(size_t i) const {
  acquisition::MeasurementRecord record;
  Visit(i, i + 1, [&](std::span<const acquisition::MeasurementRecord> records) { record = records.front(); });
  return record;
}

void SpanRecords::Visit(size_t first, size_t last, const Visitor& visit) const {
  last = std::min(last, records_.size());
  if (first < last) visit(records_.subspan(first, last - first));
}

namespace {

// The first index in [0, count) whose time is not before(time) holds, by bisection.
template <typename Before>
size_t FirstNotBefore(const RecordSource& source, size_t count, Before before) {
  size_t low = 0;
  size_t high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (before(source.TimeAt(middle))) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

}  // namespace

std::pair<size_t, size_t> IndexRange(const RecordSource& source, double fromDays, double toDays) {
  const size_t count = source.Count();
  const size_t first = FirstNotBefore(source, count, [&](double t) { return t < fromDays; });
  const size_t last = FirstNotBefore(source, count, [&](double t) { return t <= toDays; });
  return {first, std::max(first, last)};
}

}  // namespace quarn::analysis
