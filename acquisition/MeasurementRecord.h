#pragma once

#include <cstdint>
#include <span>

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

}  // namespace quarn::acquisition
