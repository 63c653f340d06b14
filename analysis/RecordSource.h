#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

#include "acquisition/MeasurementStore.h"

namespace quarn::analysis {

// The five series the chart draws, in its legend order: Conc (C2), St (S), Temp (T), Um (Uo), Ur (Ur).
inline constexpr size_t kSeriesCount = 5;
inline constexpr std::array<std::string_view, kSeriesCount> kSeriesNames{"Conc", "St", "Temp", "Um", "Ur"};
inline constexpr size_t kConcentration = 0;

using SeriesValues = std::array<double, kSeriesCount>;

inline SeriesValues ValuesOf(const acquisition::MeasurementRecord& r) {
  return {double(r.C2), double(r.S), double(r.T), double(r.Uo), double(r.Ur)};
}

inline constexpr double kSecondsPerDay = 86400;

// Where a run's records are read: how many there are and, in order, the records of a range.
class RecordSource {
 public:
  using Visitor = std::function<void(std::span<const acquisition::MeasurementRecord>)>;
  virtual ~RecordSource() = default;
  virtual size_t Count() const = 0;
  // Calls visit with the records first .. last - 1 (clipped to Count()), oldest first, in one or more spans.
  virtual void Visit(size_t first, size_t last, const Visitor& visit) const = 0;
  // Record i < Count(), copied.
  acquisition::MeasurementRecord At(size_t i) const;
  // The time of record i < Count(), days since 1899-12-30.
  double TimeAt(size_t i) const { return At(i).DT; }
};

// The records of a store, read through MeasurementStore::ForEach (each span valid during its visit only).
class StoreRecords : public RecordSource {
 public:
  explicit StoreRecords(const acquisition::MeasurementStore& store) : store_(store) {}
  size_t Count() const override { return store_.Count(); }
  void Visit(size_t first, size_t last, const Visitor& visit) const override { store_.ForEach(first, last, visit); }

 private:
  const acquisition::MeasurementStore& store_;
};

// Records held contiguously by the caller.
class SpanRecords : public RecordSource {
 public:
  explicit SpanRecords(std::span<const acquisition::MeasurementRecord> records) : records_(records) {}
  size_t Count() const override { return records_.size(); }
  void Visit(size_t first, size_t last, const Visitor& visit) const override;

 private:
  std::span<const acquisition::MeasurementRecord> records_;
};

// Records first .. last - 1 of another source, counted from 0.
class RangeRecords : public RecordSource {
 public:
  RangeRecords(const RecordSource& records, size_t first, size_t last)
      : records_(records), first_(first), last_(last) {}
  size_t Count() const override { return last_ - first_; }
  void Visit(size_t first, size_t last, const Visitor& visit) const override {
    records_.Visit(first_ + first, first_ + std::min(last, Count()), visit);
  }

 private:
  const RecordSource& records_;
  size_t first_;
  size_t last_;
};

// Index of the first record at or after fromDays and one past the last at or before toDays, for records in
// time order; first == last when none lies in between.
std::pair<size_t, size_t> IndexRange(const RecordSource& source, double fromDays, double toDays);

}  // namespace quarn::analysis
