#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "acquisition/MeasurementRecord.h"
#include "acquisition/PackedRecords.h"

namespace quarn::acquisition {

// A chunk of records: plain while the store fills it, packed once it is full (or handed over). A packed chunk
// never changes; the plain one changes only past the records the store has counted.
class RecordChunk {
 public:
  explicit RecordChunk(size_t capacity);
  explicit RecordChunk(PackedRecords packed) : packed_(std::move(packed)) {}
  bool IsPacked() const { return !plain_; }
  MeasurementRecord At(size_t i) const { return plain_ ? plain_[i] : packed_.At(i); }
  double TimeAt(size_t i) const { return plain_ ? plain_[i].DT : packed_.TimeAt(i); }
  // Calls visit(span) on records first .. last - 1: a plain chunk's in place, a packed one's unpacked into
  // buffer (room for last - first records).
  template <typename Visitor>
  void Visit(size_t first, size_t last, MeasurementRecord* buffer, Visitor&& visit) const {
    if (plain_) {
      visit(std::span<const MeasurementRecord>(plain_.get() + first, last - first));
    } else {
      packed_.Unpack(first, last, buffer);
      visit(std::span<const MeasurementRecord>(buffer, last - first));
    }
  }
  size_t Bytes(size_t capacity) const;

 private:
  friend class MeasurementStore;
  std::unique_ptr<MeasurementRecord[]> plain_;
  PackedRecords packed_;
};

// Records in chunks of kChunkRecords: an earlier run's, kept unchanged (and uncopied) after the store started
// afresh, or a reader's view of the store's records up to a count.
class RecordBlock {
 public:
  static constexpr size_t kChunkRecords = 4096;

  size_t Count() const { return count_; }
  MeasurementRecord operator[](size_t i) const { return chunks_[i / kChunkRecords]->At(i % kChunkRecords); }
  double TimeAt(size_t i) const { return chunks_[i / kChunkRecords]->TimeAt(i % kChunkRecords); }

 private:
  friend class MeasurementStore;
  std::vector<std::shared_ptr<const RecordChunk>> chunks_;
  size_t count_ = 0;
  uint64_t generation_ = 0;  // the store's run the view was taken of
};

// The records of the current run in arrival order (the program's measurements). The reader thread appends,
// the GUI thread counts, reads and empties, each in one short locked operation.
// Records live in fixed-size chunks, so growing never copies or moves what is already stored. The chunk being
// filled is plain; a full one is packed (see PackedRecords) by the appending thread outside the lock and then
// replaces the plain one, which lives on while a reader still holds it. An append holds the lock only to place
// one record (a new chunk is allocated before the lock is taken); a read holds it while it copies the records
// asked for, so reading only what is new keeps appends prompt.
class MeasurementStore {
 public:
  void Append(const MeasurementRecord& record);
  size_t Count() const;
  // Copies of records first .. Count() - 1, oldest first; empty when first >= Count().
  std::vector<MeasurementRecord> ReadFrom(size_t first) const;
  // Record i < Count(), copied; throws std::out_of_range otherwise.
  MeasurementRecord At(size_t i) const;
  // Calls visit(span) on the records first .. last - 1 (clipped to Count()), oldest first, one span per chunk:
  // a plain chunk's records in place, a packed one's unpacked (only the records asked for). The lock is held
  // only to look up the chunks; a span is valid during its visit only.
  template <typename Visit>
  void ForEach(size_t first, size_t last, Visit&& visit) const;
  // Brings view up to the first count records (clipped to Count()), for reading them one by one without the
  // lock: the chunks the view already holds packed stay, so the cost is that of what changed; a view of
  // another run (before Clear or TakeRecords) is taken afresh.
  void View(RecordBlock& view, size_t count) const;
  // Forgets every record and gives their memory back.
  void Clear();
  // Hands every record over as an unchanging block and starts afresh; the chunks move, the last (partly
  // filled) one is packed.
  std::shared_ptr<const RecordBlock> TakeRecords();

  // Bytes held for records, for measuring the cost per record.
  size_t ReservedBytes() const;

  static constexpr size_t kChunkRecords = RecordBlock::kChunkRecords;

 private:
  bool HasRoomLocked() const;
  void PutLocked(const MeasurementRecord& record);
  // Packs the last chunk when it is full and still plain, and puts it in place unless the store started
  // afresh meanwhile.
  void PackLast();
  // The chunks holding records first .. last - 1, for reading outside the lock.
  std::vector<std::shared_ptr<const RecordChunk>> ChunksFor(size_t first, size_t& last) const;

  mutable std::mutex mutex_;  // guards records_ (its chunk list and count), filling_ and generation_
  RecordBlock records_;
  MeasurementRecord* filling_ = nullptr;  // the last chunk's records while it is plain
  uint64_t generation_ = 0;               // counts Clear and TakeRecords
};

template <typename Visit>
void MeasurementStore::ForEach(size_t first, size_t last, Visit&& visit) const {
  const std::vector<std::shared_ptr<const RecordChunk>> chunks = ChunksFor(first, last);
  if (chunks.empty()) return;
  std::unique_ptr<MeasurementRecord[]> buffer;  // for unpacking, made only when a chunk is packed
  size_t i = first;
  for (const auto& chunk : chunks) {
    const size_t begin = i % kChunkRecords;
    const size_t end = std::min(kChunkRecords, begin + (last - i));
    if (chunk->IsPacked() && !buffer)
      buffer = std::make_unique_for_overwrite<MeasurementRecord[]>(std::min(kChunkRecords, last - first));
    chunk->Visit(begin, end, buffer.get(), visit);
    i += end - begin;
  }
}

}  // namespace quarn::acquisition
