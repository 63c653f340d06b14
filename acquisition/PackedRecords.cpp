#include "PackedRecords.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quarn::acquisition {

namespace {

constexpr int64_t kMsPerDay = 86400000;

using ValueField = uint16_t MeasurementRecord::*;
constexpr std::array<ValueField, PackedRecords::kValueFields> kFields{
    &MeasurementRecord::T,    &MeasurementRecord::S,    &MeasurementRecord::Ur,   &MeasurementRecord::Uo,
    &MeasurementRecord::par5, &MeasurementRecord::par6, &MeasurementRecord::par7, &MeasurementRecord::C1,
    &MeasurementRecord::C2,   &MeasurementRecord::K};

// The millisecond count of a record time and back, as record times are made from wall-clock fields (days
// before 1899-12-30 count their fraction backwards).
int64_t LinearMs(double DT) {
  if (DT >= 0) return std::llround(DT * kMsPerDay);
  const auto days = static_cast<int64_t>(std::trunc(DT));
  return days * kMsPerDay + std::llround((static_cast<double>(days) - DT) * kMsPerDay);
}

double FromLinearMs(int64_t ms) {
  int64_t days = ms / kMsPerDay;
  if (ms % kMsPerDay < 0) --days;
  const double fraction = static_cast<double>(ms - days * kMsPerDay) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool SameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// The offset of record i from a line through the origin, in the integer form's units; modulo 2^64 like
// every time integer here, so any times pack and unpack exactly (only the width suffers).
uint64_t Line(int64_t step, size_t i) { return static_cast<uint64_t>((static_cast<int64_t>(i) * step) >> 16); }

// Slopes beyond this would overflow the line over a chunk; such times pack against a flat line.
constexpr double kMaxStep = 0x1p50;

unsigned Width(uint64_t range) { return static_cast<unsigned>(std::bit_width(range)); }

// Times as integers against a line: the line's slope, the base and the offsets.
struct TimeOffsets {
  int64_t step = 0;
  uint64_t base = 0;
  unsigned width = 0;
  std::vector<uint64_t> offsets;
};

// keep[i] false: the record's integer is not used (its offset is 0).
TimeOffsets FitLine(const std::vector<uint64_t>& integers, const std::vector<bool>& keep) {
  TimeOffsets fit;
  const size_t n = integers.size();
  fit.offsets.assign(n, 0);
  size_t a = 0;
  while (a < n && !keep[a]) ++a;
  if (a == n) return fit;
  size_t b = n - 1;
  while (!keep[b]) --b;
  if (b > a) {
    const double slope =
        static_cast<double>(static_cast<int64_t>(integers[b] - integers[a])) * 65536.0 / static_cast<double>(b - a);
    if (std::abs(slope) < kMaxStep) fit.step = std::llround(slope);
  }
  int64_t lowest = 0;
  bool first = true;
  for (size_t i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    const auto residual = static_cast<int64_t>(integers[i] - Line(fit.step, i));
    if (first || residual < lowest) lowest = residual;
    first = false;
  }
  fit.base = static_cast<uint64_t>(lowest);
  uint64_t widest = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    fit.offsets[i] = integers[i] - Line(fit.step, i) - fit.base;
    widest = std::max(widest, fit.offsets[i]);
  }
  fit.width = Width(widest);
  return fit;
}

}  // namespace

PackedRecords::PackedRecords(std::span<const MeasurementRecord> records) : count_(records.size()) {
  const size_t n = count_;
  if (n == 0) return;

  // Times: both integer forms, the smaller wins.
  std::vector<uint64_t> ms(n), bits(n);
  std::vector<bool> whole(n), all(n, true);
  size_t notWhole = 0;
  for (size_t i = 0; i < n; ++i) {
    const double DT = records[i].DT;
    bits[i] = std::bit_cast<uint64_t>(DT);
    whole[i] = std::isfinite(DT) && std::abs(DT) < 1e7 && SameBits(FromLinearMs(LinearMs(DT)), DT);
    if (whole[i]) {
      ms[i] = static_cast<uint64_t>(LinearMs(DT));
    } else {
      ++notWhole;
    }
  }
  TimeOffsets byMs = FitLine(ms, whole);
  TimeOffsets byBits = FitLine(bits, all);
  const size_t msBits = n * byMs.width + notWhole * 8 * sizeof(exactTimes_[0]);
  TimeOffsets& times = msBits < n * byBits.width ? byMs : byBits;
  if (&times == &byMs) {
    timeForm_ = TimeForm::kMilliseconds;
    exactTimes_.reserve(notWhole);
    for (size_t i = 0; i < n; ++i) {
      if (!whole[i]) exactTimes_.emplace_back(static_cast<uint32_t>(i), records[i].DT);
    }
  }
  timeStep_ = times.step;
  time_.base = times.base;
  time_.width = times.width;

  // Values: per field the base of the narrower range, read straight or across the wrap at 65535.
  std::array<std::vector<uint64_t>, kValueFields> offsets;
  for (size_t f = 0; f < kValueFields; ++f) {
    uint16_t low = 0xFFFF, high = 0, lowAcross = 0xFFFF, highAcross = 0;
    for (const MeasurementRecord& r : records) {
      const uint16_t v = r.*kFields[f];
      const auto across = static_cast<uint16_t>(v ^ 0x8000);
      low = std::min(low, v);
      high = std::max(high, v);
      lowAcross = std::min(lowAcross, across);
      highAcross = std::max(highAcross, across);
    }
    const bool straight = high - low <= highAcross - lowAcross;
    Column& column = values_[f];
    column.base = straight ? low : static_cast<uint16_t>(lowAcross ^ 0x8000);
    column.width = Width(straight ? high - low : highAcross - lowAcross);
    offsets[f].resize(n);
    for (size_t i = 0; i < n; ++i) offsets[f][i] = static_cast<uint16_t>(records[i].*kFields[f] - column.base);
  }

  // One word array for all columns, each column from a word boundary.
  auto wordsFor = [n](unsigned width) { return (n * width + 63) / 64; };
  wordCount_ = wordsFor(time_.width);
  for (Column& column : values_) {
    column.word = wordCount_;
    wordCount_ += wordsFor(column.width);
  }
  words_ = std::make_unique<uint64_t[]>(wordCount_);
  auto put = [this](const Column& column, const std::vector<uint64_t>& values) {
    if (column.width == 0) return;
    for (size_t i = 0; i < values.size(); ++i) {
      const size_t bit = i * column.width;
      const size_t word = column.word + bit / 64;
      const unsigned shift = bit % 64;
      words_[word] |= values[i] << shift;
      if (shift + column.width > 64) words_[word + 1] |= values[i] >> (64 - shift);
    }
  };
  put(time_, times.offsets);
  for (size_t f = 0; f < kValueFields; ++f) put(values_[f], offsets[f]);
}

uint64_t PackedRecords::Offset(const Column& column, size_t i) const {
  if (column.width == 0) return 0;
  const size_t bit = i * column.width;
  const size_t word = column.word + bit / 64;
  const unsigned shift = bit % 64;
  uint64_t v = words_[word] >> shift;
  if (shift + column.width > 64) v |= words_[word + 1] << (64 - shift);
  return column.width == 64 ? v : v & ((uint64_t{1} << column.width) - 1);
}

uint64_t PackedRecords::TimeInteger(size_t i) const { return time_.base + Line(timeStep_, i) + Offset(time_, i); }

double PackedRecords::TimeFromInteger(size_t i, uint64_t integer) const {
  if (timeForm_ == TimeForm::kBits) return std::bit_cast<double>(integer);
  if (!exactTimes_.empty()) {
    const auto exact =
        std::lower_bound(exactTimes_.begin(), exactTimes_.end(), i,
                         [](const std::pair<uint32_t, double>& e, size_t index) { return e.first < index; });
    if (exact != exactTimes_.end() && exact->first == i) return exact->second;
  }
  return FromLinearMs(static_cast<int64_t>(integer));
}

double PackedRecords::TimeAt(size_t i) const { return TimeFromInteger(i, TimeInteger(i)); }

MeasurementRecord PackedRecords::At(size_t i) const {
  MeasurementRecord r;
  r.DT = TimeAt(i);
  for (size_t f = 0; f < kValueFields; ++f)
    r.*kFields[f] = static_cast<uint16_t>(values_[f].base + Offset(values_[f], i));
  return r;
}

void PackedRecords::Unpack(size_t first, size_t last, MeasurementRecord* out) const {
  for (size_t i = first; i < last; ++i) out[i - first].DT = TimeAt(i);
  for (size_t f = 0; f < kValueFields; ++f) {
    const Column& column = values_[f];
    const ValueField field = kFields[f];
    for (size_t i = first; i < last; ++i)
      out[i - first].*field = static_cast<uint16_t>(column.base + Offset(column, i));
  }
}

size_t PackedRecords::Bytes() const {
  return sizeof(*this) + wordCount_ * sizeof(uint64_t) + exactTimes_.capacity() * sizeof(exactTimes_[0]);
}

}  // namespace quarn::acquisition
