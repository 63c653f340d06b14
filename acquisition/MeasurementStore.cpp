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

void MeasurementStore::Append(const MeasurementRecord& record) {
  {
    std::lock_guard lock(mutex_);
    if (HasRoomLocked()) {
      PutLocked(record);
      return;
    }
  }
  // A new chunk is allocated outside the lock so that a reader never waits for the allocator.
  auto chunk = std::make_unique_for_overwrite<MeasurementRecord[]>(kChunkRecords);
  std::lock_guard lock(mutex_);
  if (!HasRoomLocked()) records_.chunks_.push_back(std::move(chunk));
  PutLocked(record);
}

bool MeasurementStore::HasRoomLocked() const { return records_.count_ < records_.chunks_.size() * kChunkRecords; }

void MeasurementStore::PutLocked(const MeasurementRecord& record) {
  records_.chunks_[records_.count_ / kChunkRecords][records_.count_ % kChunkRecords] = record;
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
  copies.reserve(count - first);
  size_t i = first;
  while (i < count) {
    const MeasurementRecord* chunk = records_.chunks_[i / kChunkRecords].get();
    const size_t begin = i % kChunkRecords;
    const size_t end = std::min(kChunkRecords, begin + (count - i));
    copies.insert(copies.end(), chunk + begin, chunk + end);
    i += end - begin;
  }
  return copies;
}

MeasurementRecord MeasurementStore::At(size_t i) const {
  std::lock_guard lock(mutex_);
  if (i >= records_.count_) throw std::out_of_range("no record " + std::to_string(i));
  return records_[i];
}

std::vector<const MeasurementRecord*> MeasurementStore::ChunksFor(size_t first, size_t& last) const {
  std::lock_guard lock(mutex_);
  last = std::min(last, records_.count_);
  std::vector<const MeasurementRecord*> chunks;
  if (first >= last) return chunks;
  for (size_t c = first / kChunkRecords; c <= (last - 1) / kChunkRecords; ++c)
    chunks.push_back(records_.chunks_[c].get());
  return chunks;
}

void MeasurementStore::Clear() {
  RecordBlock released;
  {
    std::lock_guard lock(mutex_);
    std::swap(released, records_);
  }
  // The memory goes back to the system after the lock is released.
}

std::shared_ptr<const RecordBlock> MeasurementStore::TakeRecords() {
  auto block = std::make_shared<RecordBlock>();
  std::lock_guard lock(mutex_);
  std::swap(*block, records_);
  return block;
}

size_t MeasurementStore::ReservedBytes() const {
  std::lock_guard lock(mutex_);
  return records_.chunks_.size() * kChunkRecords * sizeof(MeasurementRecord) +
         records_.chunks_.capacity() * sizeof(records_.chunks_[0]);
}

}  // namespace quarn::acquisition
