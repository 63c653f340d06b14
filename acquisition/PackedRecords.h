#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "acquisition/MeasurementRecord.h"

namespace quarn::acquisition {

// A run of records (a store's full chunk) in a compact form from which any one record is still read
// directly, without unpacking its neighbours: per field a base and each record's offset from it, bit-packed
// at the width this run needs. Values are offsets modulo 2^16 from the base that makes their range
// narrowest (so values around 0 and 65535 stay narrow). Times are offsets from a straight line through the
// first and last time, counted either in milliseconds (with the few times that are not whole milliseconds
// kept as they are) or in units of the double's last bit, whichever is smaller; both read back bit for bit.
class PackedRecords {
 public:
  PackedRecords() = default;
  explicit PackedRecords(std::span<const MeasurementRecord> records);

  size_t Count() const { return count_; }
  MeasurementRecord At(size_t i) const;
  double TimeAt(size_t i) const;
  // Unpacks records first .. last - 1 (last <= Count()) into out.
  void Unpack(size_t first, size_t last, MeasurementRecord* out) const;
  // Bytes held, this object included.
  size_t Bytes() const;

  static constexpr size_t kValueFields = 10;

 private:
  // Where a field's offsets are and how wide each is.
  struct Column {
    uint64_t base = 0;
    size_t word = 0;  // first 64-bit word of the column
    unsigned width = 0;
  };
  enum class TimeForm : uint8_t { kMilliseconds, kBits };

  uint64_t Offset(const Column& column, size_t i) const;
  // The time's integer form (milliseconds or the double's bits) of record i, before exceptions.
  uint64_t TimeInteger(size_t i) const;
  double TimeFromInteger(size_t i, uint64_t integer) const;

  size_t count_ = 0;
  TimeForm timeForm_ = TimeForm::kBits;
  int64_t timeStep_ = 0;  // slope of the line, in 1/65536 of the form's unit per record
  Column time_;           // base: the line's start plus the smallest offset from it
  std::array<Column, kValueFields> values_{};
  // Times of the millisecond form that are not whole milliseconds, by record index, ascending.
  std::vector<std::pair<uint32_t, double>> exactTimes_;
  std::unique_ptr<uint64_t[]> words_;
  size_t wordCount_ = 0;
};

}  // namespace quarn::acquisition
