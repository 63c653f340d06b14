#include "MeasurementStore.h"

#include <stdexcept>

namespace quarn::acquisition {

MeasurementRecord RecordFromFrame(double DT, std::span<const int32_t, 10> values) {
  auto low16 = [](int32_t v) { return static_cast<uint16_t>(v); };
  MeasurementRecord r;
  r.DT = DT;
  r.T = low16(values[0]);
  r.S = low16(values[1]);
  r.Ur = low16(values[2]);
  r.Uo = low16(values[3]);
  r.par5 = low16(values[4]);
  r.par6 = low16(values[5]);
  r.par7 = low16(values[6]);
  r.C1 = low16(values[7]);
  r.C2 = low16(values[8]);
  r.K = low16(values[9]);
  return r;
}

RecordChunk::RecordChunk(size_t capacity) : plain_(std::make_unique_for_overwrite<MeasurementRecord[]>(capacity)) {}

size_t RecordChunk::Bytes(size_t capacity) const {
  return sizeof(*this) + (plain_ ? capacity * sizeof(MeasurementRecord) : packed_.Bytes() - sizeof(packed_));
}

void MeasurementStore::Append(const MeasurementRecord& record) {
  bool placed = false;
  bool full = false;
  {
    std::lock_guard lock(mutex_);
    if (HasRoomLocked()) {
      PutLocked(record);
      placed = true;
      full = records_.count_ % kChunkRecords == 0;
    }
  }
  if (!placed) {
    // A new chunk is allocated outside the lock so that a reader never waits for the allocator.
    auto chunk = std::make_shared<RecordChunk>(kChunkRecords);
    MeasurementRecord* plain = chunk->plain_.get();
    std::lock_guard lock(mutex_);
    if (!HasRoomLocked()) {
      records_.chunks_.push_back(std::move(chunk));
      filling_ = plain;
    }
    PutLocked(record);
    full = records_.count_ % kChunkRecords == 0;
  }
  if (full) PackLast();
}

void MeasurementStore::PackLast() {
  std::shared_ptr<const RecordChunk> full;
  size_t index = 0;
  uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    if (records_.chunks_.empty() || HasRoomLocked() || records_.chunks_.back()->IsPacked()) return;
    full = records_.chunks_.back();
    index = records_.chunks_.size() - 1;
    generation = generation_;
    filling_ = nullptr;
  }
  // A full chunk's records no longer change: they are read without the lock.
  auto packed = std::make_shared<const RecordChunk>(
      PackedRecords(std::span<const MeasurementRecord>(full->plain_.get(), kChunkRecords)));
  std::lock_guard lock(mutex_);
  if (generation == generation_ && index < records_.chunks_.size() && records_.chunks_[index] == full)
    records_.chunks_[index] = std::move(packed);
}

bool MeasurementStore::HasRoomLocked() const { return records_.count_ < records_.chunks_.size() * kChunkRecords; }

void MeasurementStore::PutLocked(const MeasurementRecord& record) {
  filling_[records_.count_ % kChunkRecords] = record;
  ++records_.count_;
}

size_t MeasurementStore::Count() const {
  std::lock_guard lock(mutex_);
  return records_.count_;
}

std::vector<MeasurementRecord> MeasurementStore::ReadFrom(size_t first) const {
  std::lock_guard lock(mutex_);
  std::vector<MeasurementRecord> copies;
  const size_t count = records_.count_;
  if (first >= count) return copies;
  copies.resize(count - first);
  size_t i = first;
  while (i < count) {
    const size_t begin = i % kChunkRecords;
    const size_t end = std::min(kChunkRecords, begin + (count - i));
    MeasurementRecord* out = copies.data() + (i - first);
    records_.chunks_[i / kChunkRecords]->Visit(begin, end, out, [out](std::span<const MeasurementRecord> part) {
      if (part.data() != out) std::copy(part.begin(), part.end(), out);
    });
    i += end - begin;
  }
  return copies;
}

MeasurementRecord MeasurementStore::At(size_t i) const {
  std::lock_guard lock(mutex_);
  if (i >= records_.count_) throw std::out_of_range("no record " + std::to_string(i));
  return records_[i];
}

std::vector<std::shared_ptr<const RecordChunk>> MeasurementStore::ChunksFor(size_t first, size_t& last) const {
  std::lock_guard lock(mutex_);
  last = std::min(last, records_.count_);
  std::vector<std::shared_ptr<const RecordChunk>> chunks;
  if (first >= last) return chunks;
  chunks.assign(records_.chunks_.begin() + static_cast<ptrdiff_t>(first / kChunkRecords),
                records_.chunks_.begin() + static_cast<ptrdiff_t>((last - 1) / kChunkRecords + 1));
  return chunks;
}

void MeasurementStore::View(RecordBlock& view, size_t count) const {
  std::lock_guard lock(mutex_);
  count = std::min(count, records_.count_);
  if (view.generation_ != generation_ || view.count_ > count) {
    view.chunks_.clear();
    view.generation_ = generation_;
  }
  const size_t chunks = (count + kChunkRecords - 1) / kChunkRecords;
  // The view's leading packed chunks are the store's: they never change within a run.
  size_t keep = std::min(view.chunks_.size(), chunks);
  while (keep > 0 && !view.chunks_[keep - 1]->IsPacked()) --keep;
  view.chunks_.resize(keep);
  view.chunks_.insert(view.chunks_.end(), records_.chunks_.begin() + static_cast<ptrdiff_t>(keep),
                      records_.chunks_.begin() + static_cast<ptrdiff_t>(chunks));
  view.count_ = count;
}

void MeasurementStore::Clear() {
  RecordBlock released;
  {
    std::lock_guard lock(mutex_);
    std::swap(released, records_);
    filling_ = nullptr;
    ++generation_;
  }
  // The memory goes back to the system after the lock is released.
}

std::shared_ptr<const RecordBlock> MeasurementStore::TakeRecords() {
  auto block = std::make_shared<RecordBlock>();
  {
    std::lock_guard lock(mutex_);
    std::swap(*block, records_);
    filling_ = nullptr;
    ++generation_;
  }
  // No one writes to the block's chunks any more: the plain ones (the last, or one full and not yet packed
  // when the append that filled it raced with this) are packed to what they hold.
  for (size_t c = 0; c < block->chunks_.size(); ++c) {
    const RecordChunk& chunk = *block->chunks_[c];
    if (chunk.IsPacked()) continue;
    const size_t held = std::min(kChunkRecords, block->count_ - c * kChunkRecords);
    block->chunks_[c] = std::make_shared<const RecordChunk>(
        PackedRecords(std::span<const MeasurementRecord>(chunk.plain_.get(), held)));
  }
  return block;
}

size_t MeasurementStore::ReservedBytes() const {
  std::lock_guard lock(mutex_);
  size_t bytes = records_.chunks_.capacity() * sizeof(records_.chunks_[0]);
  for (const auto& chunk : records_.chunks_) bytes += chunk->Bytes(kChunkRecords);
  return bytes;
}

}  // namespace quarn::acquisition
