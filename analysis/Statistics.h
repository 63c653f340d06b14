#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/Moments.h"
#include "analysis/RecordSource.h"

namespace quarn::analysis {

// The figures of one series over a range of records.
struct SeriesStatistics {
  size_t count = 0;
  double mean = 0;
  std::optional<double> sd;  // sample standard deviation (n - 1); none below two points
  double min = 0;
  double max = 0;
  double peakToPeak = 0;
  // Least-squares slope over time, per hour; none below two points or when all share one time.
  std::optional<double> driftPerHour;
};

// The figures of all five series over records first .. last - 1.
struct RangeStatistics {
  size_t first = 0;
  size_t last = 0;
  std::array<SeriesStatistics, kSeriesCount> series{};
  size_t Count() const { return last - first; }
};

RangeStatistics StatisticsFromMoments(const Moments& moments, size_t first, size_t last);

// Statistics of any range of a growing run at a cost that does not grow with the run: per bucket of
// kBucketRecords records it keeps the moments of the five series (about 230 bytes, under 0.06 bytes a
// record), in fixed-size chunks that are never copied as the run grows, and above them the moments of each
// two neighbours, of each two of those and so on (as much again). A range costs the logarithm of its whole
// buckets plus the records of at most two partial ones, read from the source. Times count in seconds from the first
// record's time, so that their sums keep their precision over a week.
class StatisticsIndex {
 public:
  static constexpr size_t kBucketRecords = 4096;
  static constexpr size_t kChunkBuckets = 256;

  // Takes the source's records that are new since the last call (the source only ever grows in between).
  void Update(const RecordSource& source);
  // Appends records, in order, as the next ones of the run.
  void Append(std::span<const acquisition::MeasurementRecord> records);
  // Forgets every record: for a new run.
  void Clear();
  size_t Size() const { return size_; }

  // The figures over records first .. last - 1 (clipped to Size()), reading the parts of partial buckets
  // from source, which must hold the records this index was built from.
  RangeStatistics Query(const RecordSource& source, size_t first, size_t last) const;

  // Bytes held for buckets, for measuring the cost per record.
  size_t ReservedBytes() const;

 private:
  double Seconds(double DT) const { return (DT - originDays_) * kSecondsPerDay; }
  Moments ReadMoments(const RecordSource& source, size_t first, size_t last) const;
  const Moments& Bucket(size_t b) const { return chunks_[b / kChunkBuckets][b % kChunkBuckets]; }
  // Entry j of level k: bucket j, or a span of 2^k buckets.
  const Moments& Level(size_t k, size_t j) const { return k == 0 ? Bucket(j) : upper_[k - 1][j]; }

  size_t size_ = 0;
  double originDays_ = 0;
  std::vector<std::unique_ptr<Moments[]>> chunks_;  // completed buckets
  size_t completeBuckets_ = 0;
  // upper_[k - 1][j]: buckets j << k .. ((j + 1) << k) - 1 merged, for each such span complete.
  std::vector<std::deque<Moments>> upper_;
  ShiftedSums current_;  // the bucket being filled
};

// The figures of records handed over in order, batch after batch, without keeping them: what ComputeStatistics
// gives over the same records, to the last bit.
class RunningStatistics {
 public:
  void Add(std::span<const acquisition::MeasurementRecord> records);
  size_t Count() const { return count_; }
  // The figures of every record added, as those of records first .. first + Count() - 1.
  RangeStatistics Result(size_t first = 0) const;

 private:
  Moments total_;
  ShiftedSums bucket_;
  double originDays_ = 0;
  size_t count_ = 0;
};

// The figures over records first .. last - 1 of source, read one by one; for programs that look at a range
// once.
RangeStatistics ComputeStatistics(const RecordSource& source, size_t first, size_t last);

}  // namespace quarn::analysis
