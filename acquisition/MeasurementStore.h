#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace quarn::acquisition {

// One measurement frame as stored: when it was parsed and its ten values.
struct MeasurementRecord {
  double DT = 0;  // local time, days since 1899-12-30, fraction = time of day; millisecond resolution
  uint16_t T = 0;
  uint16_t S = 0;
  uint16_t Ur = 0;
  uint16_t Uo = 0;
  uint16_t par5 = 0;
  uint16_t par6 = 0;
  uint16_t par7 = 0;
  uint16_t C1 = 0;
  uint16_t C2 = 0;
  uint16_t K = 0;
  bool operator==(const MeasurementRecord&) const = default;
};

// The record of a frame's first ten values; each keeps its low 16 bits (70000 becomes 4464).
MeasurementRecord RecordFromFrame(double DT, std::span<const int32_t, 10> values);

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
  // Forgets every record and gives their memory back.
  void Clear();

  // Bytes held for records (whole chunks), for measuring the cost per record.
  size_t ReservedBytes() const;

  static constexpr size_t kChunkRecords = 4096;

 private:
  bool HasRoomLocked() const;
  void PutLocked(const MeasurementRecord& record);

  mutable std::mutex mutex_;  // guards chunks_ and count_
  std::vector<std::unique_ptr<MeasurementRecord[]>> chunks_;
  size_t count_ = 0;
};

}  // namespace quarn::acquisition
