#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>

#include "acquisition/MeasurementStore.h"

namespace quarn::acquisition {
namespace {

// A record that carries its own index, so that order, gaps and doubles show.
MeasurementRecord Numbered(size_t i) {
  MeasurementRecord r;
  r.DT = static_cast<double>(i);
  r.T = static_cast<uint16_t>(i);
  r.K = static_cast<uint16_t>(i >> 16);
  return r;
}

void ExpectNumbered(const std::vector<MeasurementRecord>& records, size_t first) {
  for (size_t j = 0; j < records.size(); ++j) ASSERT_EQ(records[j], Numbered(first + j)) << "index " << first + j;
}

TEST(MeasurementStore, CountsReadsFromAnIndexAndEmpties) {
  MeasurementStore measurements;
  EXPECT_EQ(measurements.Count(), 0u);
  EXPECT_TRUE(measurements.ReadFrom(0).empty());

  constexpr size_t kChunk = MeasurementStore::kChunkRecords;
  const size_t total = 3 * kChunk + 5;
  for (size_t i = 0; i < total; ++i) measurements.Append(Numbered(i));
  EXPECT_EQ(measurements.Count(), total);

  // Starts inside, at and just before chunk boundaries, and at the end.
  for (size_t first : {size_t{0}, size_t{1}, kChunk - 1, kChunk, 2 * kChunk + 17, total - 1, total, total + 3}) {
    const std::vector<MeasurementRecord> records = measurements.ReadFrom(first);
    ASSERT_EQ(records.size(), first < total ? total - first : 0u) << "from " << first;
    ExpectNumbered(records, first);
  }
  // The same ranges read in place, chunk by chunk, and one by one.
  for (auto [first, last] : {std::pair{size_t{0}, total},
                             {kChunk - 1, kChunk + 1},
                             {5, 3 * kChunk},
                             {kChunk, kChunk},
                             {2 * kChunk + 17, total + 9},
                             {total, total + 1}}) {
    std::vector<MeasurementRecord> seen;
    measurements.ForEach(first, last, [&](std::span<const MeasurementRecord> part) {
      EXPECT_FALSE(part.empty());
      seen.insert(seen.end(), part.begin(), part.end());
    });
    ASSERT_EQ(seen.size(), std::min(last, total) - std::min(first, std::min(last, total))) << first << ".." << last;
    ExpectNumbered(seen, first);
  }
  EXPECT_EQ(measurements.At(kChunk), Numbered(kChunk));
  EXPECT_EQ(measurements.At(total - 1), Numbered(total - 1));
  EXPECT_THROW(measurements.At(total), std::out_of_range);

  measurements.Clear();
  EXPECT_EQ(measurements.Count(), 0u);
  EXPECT_TRUE(measurements.ReadFrom(0).empty());
  EXPECT_EQ(measurements.ReservedBytes(), 0u);
  measurements.Append(Numbered(42));
  EXPECT_EQ(measurements.ReadFrom(0), std::vector<MeasurementRecord>{Numbered(42)});
}

// A further run starts afresh while the earlier run's records stay readable, in the same memory.
TEST(MeasurementStore, TakenRecordsStayWhileTheStoreStartsAfresh) {
  MeasurementStore measurements;
  const size_t total = MeasurementStore::kChunkRecords + 3;
  for (size_t i = 0; i < total; ++i) measurements.Append(Numbered(i));
  const size_t reserved = measurements.ReservedBytes();
  const std::shared_ptr<const RecordBlock> earlier = measurements.TakeRecords();
  EXPECT_EQ(measurements.Count(), 0u);
  EXPECT_EQ(measurements.ReservedBytes(), 0u) << "the chunks moved, not copied";
  EXPECT_GE(reserved, total * sizeof(MeasurementRecord));

  for (size_t i = 0; i < 10; ++i) measurements.Append(Numbered(1000 + i));
  ASSERT_EQ(earlier->Count(), total);
  for (size_t i = 0; i < total; ++i) ASSERT_EQ((*earlier)[i], Numbered(i)) << i;
  EXPECT_EQ(measurements.At(0), Numbered(1000));
}

// The display reads what is new while the reader appends: every record exactly once, in order.
TEST(MeasurementStore, ConcurrentReadsSeeEveryRecordOnce) {
  MeasurementStore measurements;
  constexpr size_t kTotal = 3 * MeasurementStore::kChunkRecords + 123;
  std::atomic<bool> appending{true};
  std::thread appender([&] {
    for (size_t i = 0; i < kTotal; ++i) measurements.Append(Numbered(i));
    appending = false;
  });

  size_t shown = 0;
  while (shown < kTotal) {
    const bool more = appending.load();
    const std::vector<MeasurementRecord> fresh = measurements.ReadFrom(shown);
    ExpectNumbered(fresh, shown);
    if (HasFatalFailure()) break;
    shown += fresh.size();
    if (!more && fresh.empty()) break;
  }
  appender.join();
  EXPECT_EQ(shown, kTotal);
  EXPECT_EQ(measurements.Count(), kTotal);
}

}  // namespace
}  // namespace quarn::acquisition
