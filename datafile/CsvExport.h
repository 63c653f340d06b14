#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "datafile/DataFileReader.h"

namespace quarn::datafile {

// Records as a CSV file for spreadsheets: UTF-8, CR LF, one header row, then one row per record:
//   Time,Temp,St,Ur,Um,S,Stz,Stzkt,Conc1,Conc,Status
//   2013-09-05T14:03:07.250,25,3100,1200,1500,0,0,10000,0,0,0
// The time is the record's local time (ISO 8601, milliseconds, no zone); the columns follow the record's
// fields and carry the live table's captions. The rows go to a temporary file beside path, which replaces
// path only when all is written: a failed or cancelled export leaves no file and an older one unchanged.
//
//   const bool done = datafile::ExportCsv(path, store, first, last, progress);  // throws DataFileError

// The header row, without its line end.
std::string CsvHeaderRow();

// Called every few thousand rows with the rows written and the rows in all; false cancels the export.
using RowProgress = std::function<bool(size_t doneRows, size_t totalRows)>;

// Writes records [first, last) of store (clipped to its count). The store may grow meanwhile; it must not be
// cleared. True when written, false when cancelled. Throws DataFileError naming the path and the reason.
bool ExportCsv(const std::string& path, const acquisition::MeasurementStore& store, size_t first, size_t last,
               const RowProgress& progress = {});
bool ExportCsv(const std::string& path, std::span<const acquisition::MeasurementRecord> records,
               const RowProgress& progress = {});

// The records of store whose time lies in [fromDT, toDT] (what a chart shows between its axis ends), in store
// order, whatever order the times have. Progress counts the records looked at out of the store's count.
bool ExportCsvInTimeRange(const std::string& path, const acquisition::MeasurementStore& store, double fromDT,
                          double toDT, const RowProgress& progress = {});

// Reads a file that ExportCsv wrote (the header row is checked). Throws DataFileError naming the first line
// that does not read.
std::vector<acquisition::MeasurementRecord> ReadCsv(const std::string& path);

}  // namespace quarn::datafile
