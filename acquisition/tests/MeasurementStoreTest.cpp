#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
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
  EXPECT_GT(reserved, 0u);

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
    // The same through a view and in place, over chunks that get packed meanwhile.
    RecordBlock view;
    measurements.View(view, shown);
    if (shown > 0) {
      ASSERT_EQ(view[shown - 1], Numbered(shown - 1));
    }
    size_t visited = shown / 2;
    measurements.ForEach(shown / 2, shown, [&](std::span<const MeasurementRecord> part) {
      for (const MeasurementRecord& r : part) ASSERT_EQ(r, Numbered(visited++));
    });
    if (HasFatalFailure()) break;
    if (!more && fresh.empty()) break;
  }
  appender.join();
  EXPECT_EQ(shown, kTotal);
  EXPECT_EQ(measurements.Count(), kTotal);
}

// Equal bit for bit: the time's double included (NaN, -0.0 and the last bit of a fraction count).
void ExpectSame(const MeasurementRecord& read, const MeasurementRecord& written, const std::string& where) {
  ASSERT_EQ(std::bit_cast<uint64_t>(read.DT), std::bit_cast<uint64_t>(written.DT)) << where << ": DT " << read.DT;
  MeasurementRecord values = read;
  MeasurementRecord expected = written;
  values.DT = expected.DT = 0;
  ASSERT_TRUE(values == expected) << where << ": values";
}

void SetValues(MeasurementRecord& r, uint16_t v) {
  r.T = r.S = r.Ur = r.Uo = r.par5 = r.par6 = r.par7 = r.C1 = r.C2 = r.K = v;
}

// Whole milliseconds from 2026 on, as the clock gives them.
double Ms(int64_t ms) {
  const int64_t days = ms / 86400000;
  return static_cast<double>(days) + static_cast<double>(ms % 86400000) / 86400000.0;
}
constexpr int64_t kStartMs = int64_t{46000} * 86400000;

struct HostileRun {
  const char* name;
  size_t count;
  std::function<MeasurementRecord(size_t, std::mt19937&)> record;
};

const HostileRun kHostileRuns[] = {
    {"constant", 3 * MeasurementStore::kChunkRecords,
     [](size_t, std::mt19937&) {
       MeasurementRecord r;
       r.DT = 46000.25;
       SetValues(r, 1234);
       return r;
     }},
    {"noisy", 2 * MeasurementStore::kChunkRecords,
     [](size_t i, std::mt19937& random) {
       MeasurementRecord r;
       r.DT = Ms(kStartMs + static_cast<int64_t>(i) * 500 + static_cast<int64_t>(random() % 200));
       r.T = static_cast<uint16_t>(random());
       r.S = static_cast<uint16_t>(3000 + random() % 7);
       r.Ur = static_cast<uint16_t>(random() % 2);
       r.Uo = static_cast<uint16_t>(random() >> 3);
       r.par5 = static_cast<uint16_t>(random() % 1000);
       r.C2 = static_cast<uint16_t>(random());
       r.K = static_cast<uint16_t>(random() & 0x8001);
       return r;
     }},
    {"around the wrap of 16 bits", 2 * MeasurementStore::kChunkRecords,
     [](size_t i, std::mt19937& random) {
       MeasurementRecord r;
       r.DT = Ms(kStartMs + static_cast<int64_t>(i) * 500);
       SetValues(r, static_cast<uint16_t>(65530 + random() % 12));  // 65530 .. 65535, 0 .. 5
       r.K = static_cast<uint16_t>(i % 2 == 0 ? 0 : 65535);
       r.C2 = static_cast<uint16_t>(32760 + random() % 16);  // across the middle as well
       return r;
     }},
    {"huge jumps", 2 * MeasurementStore::kChunkRecords,
     [](size_t i, std::mt19937& random) {
       MeasurementRecord r;
       // Days apart, backwards, before 1899 and back.
       const int64_t jump = (i % 97 == 0) ? static_cast<int64_t>(random() % 100000) * 86400000 : 0;
       const int64_t ms = (i % 2 == 0 ? 1 : -1) * (kStartMs + jump) + static_cast<int64_t>(i);
       r.DT = ms >= 0 ? Ms(ms) : -Ms(-ms);
       SetValues(r, i % 3 == 0 ? 0 : 65535);
       r.C2 = static_cast<uint16_t>(i * 40503);
       return r;
     }},
    {"times that are not whole milliseconds", 2 * MeasurementStore::kChunkRecords + 1,
     [](size_t i, std::mt19937& random) {
       MeasurementRecord r;
       r.DT = 46000.0 + static_cast<double>(i) * (0.5 / 86400.0);  // a step of a fraction of a day
       if (i % 500 == 7) r.DT += 1e-9;                             // a few off any millisecond
       if (i == 4100) r.DT = std::nextafter(r.DT, 0.0);            // one last bit off
       SetValues(r, static_cast<uint16_t>(random() % 4));
       return r;
     }},
    {"mostly whole milliseconds", MeasurementStore::kChunkRecords + 100,
     [](size_t i, std::mt19937&) {
       MeasurementRecord r;
       r.DT = Ms(kStartMs + static_cast<int64_t>(i) * 73);
       if (i % 1000 == 999) r.DT += 0.3 / 86400000.0;  // a frame dated within a read, between milliseconds
       r.S = static_cast<uint16_t>(i);
       return r;
     }},
    {"odd doubles", MeasurementStore::kChunkRecords + 9,
     [](size_t i, std::mt19937& random) {
       constexpr double kOdd[] = {0.0,
                                  -0.0,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::max(),
                                  -1.25,
                                  1e300};
       MeasurementRecord r;
       r.DT = i % 2 == 0 ? kOdd[i % 9] : std::bit_cast<double>(static_cast<uint64_t>(random()) << 32 | random());
       SetValues(r, static_cast<uint16_t>(random()));
       return r;
     }},
    {"a partial last chunk", 2 * MeasurementStore::kChunkRecords + 77,
     [](size_t i, std::mt19937&) {
       MeasurementRecord r;
       r.DT = Ms(kStartMs + static_cast<int64_t>(i) * 500);
       SetValues(r, static_cast<uint16_t>(400 + i % 13));
       return r;
     }},
};

std::vector<MeasurementRecord> Written(const HostileRun& run) {
  std::mt19937 random(33);
  std::vector<MeasurementRecord> records;
  for (size_t i = 0; i < run.count; ++i) records.push_back(run.record(i, random));
  return records;
}

// Every way of reading gives back what was appended, bit for bit, whether the chunk is packed or plain, and
// so does the block the records are handed over in.
TEST(MeasurementStore, RecordsReadBackExactlyAsAppended) {
  for (const HostileRun& run : kHostileRuns) {
    SCOPED_TRACE(run.name);
    const std::vector<MeasurementRecord> written = Written(run);
    MeasurementStore measurements;
    for (const MeasurementRecord& r : written) measurements.Append(r);

    const std::vector<MeasurementRecord> copied = measurements.ReadFrom(0);
    ASSERT_EQ(copied.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) ExpectSame(copied[i], written[i], "ReadFrom " + std::to_string(i));
    size_t next = 1;  // single records and spans across chunk boundaries
    measurements.ForEach(1, written.size(), [&](std::span<const MeasurementRecord> part) {
      for (const MeasurementRecord& r : part) {
        ExpectSame(r, written[next], "ForEach " + std::to_string(next));
        ++next;
      }
    });
    EXPECT_EQ(next, written.size());
    RecordBlock view;
    measurements.View(view, written.size());
    for (size_t i = 0; i < written.size(); i += 7) {
      ExpectSame(measurements.At(i), written[i], "At " + std::to_string(i));
      ExpectSame(view[i], written[i], "view " + std::to_string(i));
      ASSERT_EQ(std::bit_cast<uint64_t>(view.TimeAt(i)), std::bit_cast<uint64_t>(written[i].DT)) << i;
    }
    if (HasFailure()) continue;

    const std::shared_ptr<const RecordBlock> block = measurements.TakeRecords();
    ASSERT_EQ(block->Count(), written.size());
    for (size_t i = 0; i < written.size(); ++i) ExpectSame((*block)[i], written[i], "block " + std::to_string(i));
    // The view holds its chunks after the store let go of them.
    ExpectSame(view[written.size() - 1], written.back(), "view after the store let go");
  }
}

// Full chunks are packed; a view brought up to date keeps reading through the change.
TEST(MeasurementStore, FullChunksArePackedAndViewsFollow) {
  constexpr size_t kChunk = MeasurementStore::kChunkRecords;
  MeasurementStore measurements;
  RecordBlock view;
  for (size_t i = 0; i < kChunk - 1; ++i) measurements.Append(Numbered(i));
  measurements.View(view, SIZE_MAX);
  const size_t plain = measurements.ReservedBytes();
  for (size_t i = kChunk - 1; i < 3 * kChunk; ++i) measurements.Append(Numbered(i));
  EXPECT_LT(measurements.ReservedBytes(), plain) << "three full chunks take less room than one plain";
  EXPECT_EQ(view.Count(), kChunk - 1);
  EXPECT_EQ(view[kChunk - 2], Numbered(kChunk - 2));
  measurements.View(view, 2 * kChunk + 1);
  ASSERT_EQ(view.Count(), 2 * kChunk + 1);
  for (size_t i = 0; i < view.Count(); ++i) ASSERT_EQ(view[i], Numbered(i)) << i;

  measurements.Clear();
  measurements.Append(Numbered(7));
  measurements.View(view, SIZE_MAX);
  ASSERT_EQ(view.Count(), 1u) << "a view of the earlier run is taken afresh";
  EXPECT_EQ(view[0], Numbered(7));
}

}  // namespace
}  // namespace quarn::acquisition
