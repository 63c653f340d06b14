#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace quarn::acquisition {

// One measurement frame as stored: when it was parsed and its ten values.
// Each field's comment names the column the record table and the chart show it under.
struct MeasurementRecord {
  double DT = 0;      // "Time": UTC, days since 1899-12-30, fraction = time of day; millisecond resolution
  uint16_t T = 0;     // "Temp"
  uint16_t S = 0;     // "St"
  uint16_t Ur = 0;    // "Ur"
  uint16_t Uo = 0;    // "Um"
  uint16_t par5 = 0;  // "S"
  uint16_t par6 = 0;  // "Stz"
  uint16_t par7 = 0;  // "Stzkt"
  uint16_t C1 = 0;    // "Conc1"
  uint16_t C2 = 0;    // "Conc"
  uint16_t K = 0;     // "Status"
  bool operator==(const MeasurementRecord&) const = default;
};

// The record of a frame's first ten values; each keeps its low 16 bits (70000 becomes 4464).
MeasurementRecord RecordFromFrame(double DT, std::span<const int32_t, 10> values);

// The records of an earlier run, kept unchanged (and uncopied) after the store started afresh.
class RecordBlock {
 public:
  static constexpr size_t kChunkRecords = 4096;

  size_t Count() const { return count_; }
  const MeasurementRecord& operator[](size_t i) const { return chunks_[i / kChunkRecords][i % kChunkRecords]; }

 private:
  friend class MeasurementStore;
  std::vector<std::unique_ptr<MeasurementRecord[]>> chunks_;
  size_t count_ = 0;
};

// The records of the current run in arrival order (the program's measurements). The reader thread appends,
// the GUI thread counts, reads and empties, each in one short locked operation.
// Records live in fixed-size chunks, so growing never copies or moves what is already stored. An append
// holds the lock only to place one record (a new chunk is allocated before the lock is taken); a read holds
// it while it copies the records asked for, so reading only what is new keeps appends prompt.
class MeasurementStore {
 public:
  void Append(const MeasurementRecord& record);
  size_t Count() const;
  // Copies of records first .. Count() - 1, oldest first; empty when first >= Count().
  std::vector<MeasurementRecord> ReadFrom(size_t first) const;
  // Record i < Count(), copied; throws std::out_of_range otherwise.
  MeasurementRecord At(size_t i) const;
  // Calls visit(span) on the records first .. last - 1 (clipped to Count()), oldest first, one span per chunk,
  // without copying them. The lock is held only to look up the chunks: records already stored never change,
  // so the caller must only keep Clear and TakeRecords from running meanwhile (they run on the reading thread).
  template <typename Visit>
  void ForEach(size_t first, size_t last, Visit&& visit) const;
  // Forgets every record and gives their memory back.
  void Clear();
  // Hands every record over as an unchanging block and starts afresh; no record is copied.
  std::shared_ptr<const RecordBlock> TakeRecords();

  // Bytes held for records (whole chunks), for measuring the cost per record.
  size_t ReservedBytes() const;

  static constexpr size_t kChunkRecords = RecordBlock::kChunkRecords;

 private:
  bool HasRoomLocked() const;
  void PutLocked(const MeasurementRecord& record);
  // The chunks holding records first .. last - 1, for reading outside the lock.
  std::vector<const MeasurementRecord*> ChunksFor(size_t first, size_t& last) const;

  mutable std::mutex mutex_;  // guards records_ (its chunk list and count)
  RecordBlock records_;
};

template <typename Visit>
void MeasurementStore::ForEach(size_t first, size_t last, Visit&& visit) const {
  const std::vector<const MeasurementRecord*> chunks = ChunksFor(first, last);
  size_t i = first;
  for (const MeasurementRecord* chunk : chunks) {
    const size_t begin = i % kChunkRecords;
    const size_t end = std::min(kChunkRecords, begin + (last - i));
    visit(std::span<const MeasurementRecord>(chunk + begin, end - begin));
    i += end - begin;
  }
}

}  // namespace quarn::acquisition
