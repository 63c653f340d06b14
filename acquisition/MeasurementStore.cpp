#include "MeasurementStore.h"

#include <algorithm>

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
  auto chunk = std::make_unique<MeasurementRecord[]>(kChunkRecords);
  std::lock_guard lock(mutex_);
  if (!HasRoomLocked()) chunks_.push_back(std::move(chunk));
  PutLocked(record);
}

bool MeasurementStore::HasRoomLocked() const { return count_ < chunks_.size() * kChunkRecords; }

void MeasurementStore::PutLocked(const MeasurementRecord& record) {
  chunks_[count_ / kChunkRecords][count_ % kChunkRecords] = record;
  ++count_;
}

size_t MeasurementStore::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::vector<MeasurementRecord> MeasurementStore::ReadFrom(size_t first) const {
  std::lock_guard lock(mutex_);
  std::vector<MeasurementRecord> copies;
  if (first >= count_) return copies;
  copies.reserve(count_ - first);
  size_t i = first;
  while (i < count_) {
    const MeasurementRecord* chunk = chunks_[i / kChunkRecords].get();
    const size_t begin = i % kChunkRecords;
    const size_t end = std::min(kChunkRecords, begin + (count_ - i));
    copies.insert(copies.end(), chunk + begin, chunk + end);
    i += end - begin;
  }
  return copies;
}

void MeasurementStore::Clear() {
  std::vector<std::unique_ptr<MeasurementRecord[]>> released;
  {
    std::lock_guard lock(mutex_);
    released.swap(chunks_);
    count_ = 0;
  }
  // The memory goes back to the system after the lock is released.
}

size_t MeasurementStore::ReservedBytes() const {
  std::lock_guard lock(mutex_);
  return chunks_.size() * kChunkRecords * sizeof(MeasurementRecord) + chunks_.capacity() * sizeof(chunks_[0]);
}

}  // namespace quarn::acquisition
