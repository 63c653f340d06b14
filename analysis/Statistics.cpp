#include "Statistics.h"

#include <algorithm>
#include <cmath>

namespace quarn::analysis {

RangeStatistics StatisticsFromMoments(const Moments& moments, size_t first, size_t last) {
  RangeStatistics result;
  result.first = first;
  result.last = last;
  const size_t count = static_cast<size_t>(moments.count);
  for (size_t k = 0; k < kSeriesCount; ++k) {
    const Moments::Series& m = moments.series[k];
    SeriesStatistics& s = result.series[k];
    s.count = count;
    if (count == 0) continue;
    s.mean = m.mean;
    s.min = m.min;
    s.max = m.max;
    s.peakToPeak = m.max - m.min;
    if (count >= 2) {
      s.sd = std::sqrt(m.m2 / (moments.count - 1));
      if (moments.m2T > 0) s.driftPerHour = m.coMoment / moments.m2T * 3600;
    }
  }
  return result;
}

void StatisticsIndex::Update(const RecordSource& source) {
  const size_t count = source.Count();
  if (count > size_) {
    source.Visit(size_, count, [&](std::span<const acquisition::MeasurementRecord> records) { Append(records); });
  }
}

void StatisticsIndex::Append(std::span<const acquisition::MeasurementRecord> records) {
  for (const acquisition::MeasurementRecord& r : records) {
    if (size_ == 0) originDays_ = r.DT;
    current_.Add(Seconds(r.DT), ValuesOf(r));
    ++size_;
    if (current_.Count() == kBucketRecords) {
      if (completeBuckets_ % kChunkBuckets == 0) chunks_.push_back(std::make_unique<Moments[]>(kChunkBuckets));
      chunks_[completeBuckets_ / kChunkBuckets][completeBuckets_ % kChunkBuckets] = current_.ToMoments();
      ++completeBuckets_;
      // Each span of 2^k buckets this one completes.
      for (size_t k = 1; completeBuckets_ % (size_t{1} << k) == 0; ++k) {
        if (upper_.size() < k) upper_.emplace_back();
        const size_t j = (completeBuckets_ >> k) - 1;
        Moments merged = Level(k - 1, 2 * j);
        merged.Merge(Level(k - 1, 2 * j + 1));
        upper_[k - 1].push_back(merged);
      }
      current_ = ShiftedSums();
    }
  }
}

void StatisticsIndex::Clear() {
  size_ = 0;
  originDays_ = 0;
  chunks_.clear();
  chunks_.shrink_to_fit();
  completeBuckets_ = 0;
  upper_.clear();
  upper_.shrink_to_fit();
  current_ = ShiftedSums();
}

Moments StatisticsIndex::ReadMoments(const RecordSource& source, size_t first, size_t last) const {
  ShiftedSums sums;
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) sums.Add(Seconds(r.DT), ValuesOf(r));
  });
  return sums.ToMoments();
}

RangeStatistics StatisticsIndex::Query(const RecordSource& source, size_t first, size_t last) const {
  last = std::min(last, size_);
  first = std::min(first, last);
  Moments total;
  // Whole buckets lie between the first bucket boundary at or after first and the last one at or before last.
  const size_t wholeBegin = (first + kBucketRecords - 1) / kBucketRecords;
  const size_t wholeEnd = std::min(last / kBucketRecords, completeBuckets_);
  if (wholeBegin >= wholeEnd) {
    total = ReadMoments(source, first, last);
  } else {
    total = ReadMoments(source, first, wholeBegin * kBucketRecords);
    // The whole buckets as the widest complete spans that fit, in order.
    std::vector<const Moments*> right;
    size_t lo = wholeBegin, hi = wholeEnd;
    for (size_t k = 0; lo < hi; ++k) {
      if (k == upper_.size()) {
        for (size_t j = lo; j < hi; ++j) total.Merge(Level(k, j));
        break;
      }
      if (lo & 1) total.Merge(Level(k, lo++));
      if (hi & 1) right.push_back(&Level(k, --hi));
      lo >>= 1;
      hi >>= 1;
    }
    for (auto m = right.rbegin(); m != right.rend(); ++m) total.Merge(**m);
    total.Merge(ReadMoments(source, wholeEnd * kBucketRecords, last));
  }
  return StatisticsFromMoments(total, first, last);
}

size_t StatisticsIndex::ReservedBytes() const {
  size_t upper = 0;
  for (const auto& level : upper_) upper += level.size() * sizeof(Moments);
  return chunks_.size() * kChunkBuckets * sizeof(Moments) + chunks_.capacity() * sizeof(chunks_[0]) + upper +
         sizeof(*this);
}

void RunningStatistics::Add(std::span<const acquisition::MeasurementRecord> records) {
  for (const acquisition::MeasurementRecord& r : records) {
    if (count_++ == 0) originDays_ = r.DT;
    bucket_.Add((r.DT - originDays_) * kSecondsPerDay, ValuesOf(r));
    if (bucket_.Count() == StatisticsIndex::kBucketRecords) {
      total_.Merge(bucket_.ToMoments());
      bucket_ = ShiftedSums();
    }
  }
}

RangeStatistics RunningStatistics::Result(size_t first) const {
  Moments total = total_;
  total.Merge(bucket_.ToMoments());
  return StatisticsFromMoments(total, first, first + count_);
}

RangeStatistics ComputeStatistics(const RecordSource& source, size_t first, size_t last) {
  last = std::min(last, source.Count());
  first = std::min(first, last);
  RunningStatistics statistics;
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) { statistics.Add(records); });
  return statistics.Result(first);
}

}  // namespace quarn::analysis
