#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "datafile/DateReading.h"

namespace quarn::publish {

// A record of a data file with what names it: its number in the file (from 1, over all runs), its run's
// start (RunText) and its place in that run (from 1).
struct NumberedRecord {
  uint64_t number = 0;
  std::string run;
  uint64_t seq = 0;
  acquisition::MeasurementRecord record;
};

// Hands take the file's records numbered after `after`, in file order, streaming (nothing but a batch is
// held); take returns false to stop early. Returns how many records the file held as far as it was read.
// Throws datafile::DataFileError when the file cannot be read.
uint64_t ReadRecordsAfter(const std::string& dataFile, uint64_t after, datafile::DateOrder localeOrder,
                          const std::function<bool(const NumberedRecord&)>& take);

// The data files of the sensor with this serial number in folder ("<serial>(<firmware>) <date> <time>.txt"),
// oldest modification first.
std::vector<std::string> SensorDataFiles(const std::string& folder, const std::string& serial);

}  // namespace quarn::publish
