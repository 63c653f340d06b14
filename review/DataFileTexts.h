#pragma once

#include <QString>
#include <optional>

#include "datafile/DataFileReader.h"

namespace quarn::review {

// What a review window needs to know about a data file, apart from the window.

// The reader's date-order hint from a short date format pattern such as "dd/MM/yyyy", "M/d/yy" or
// "yyyy-MM-dd": the order in which day, month and year first appear; day-first when the pattern names none.
datafile::DateOrder DateOrderOfPattern(const QString& pattern);
// The same for the user's locale (the default QLocale).
datafile::DateOrder LocaleDateOrder();

// Gives options the default QLocale's short and long month names, for files whose dates name the month.
void SetLocaleMonthNames(datafile::ReadOptions& options);

// How many bytes from a file's start decide whether it is a data file at all.
constexpr qint64 kProbeBytes = 64 * 1024;
// Why the file at path cannot be reviewed (it cannot be opened, is empty, or its beginning is no data file),
// as a sentence for a box; nothing when it can. Reads only the file's beginning, so it is quick for any size.
std::optional<QString> DataFileProblem(const QString& path, datafile::DateOrder order);

// A record time (days since 1899-12-30) as the locale writes it: short date and long time.
QString LocalTimeText(double days);
// The review window's title: the file's name and the time span of the records read ("name (first – last)"),
// the name alone without records.
QString ReviewTitle(const QString& path, const acquisition::MeasurementStore& records);
// A run's label on the chart and in the list: "Run 2", then the sensor when the header names one.
QString RunLabel(const datafile::Run& run, size_t index);
// One line per run for the window's run list: label, port, serial number, firmware, records and first time.
QString RunDescription(const datafile::Run& run, size_t index, double firstDT);

}  // namespace quarn::review
