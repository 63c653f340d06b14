#pragma once

#include <array>
#include <string>
#include <vector>

#include "acquisition/DateTime.h"
#include "acquisition/MeasurementStore.h"
#include "acquisition/RegionalFormat.h"

namespace quarn::datafile::testing {

// The short date and long time of a few locales, as their users' systems write them.
enum class Locale {
  EnGb,           // 05/09/2013 14:03:07
  DeDe,           // 05.09.2013 14:03:07
  EnUs,           // 9/5/2013 2:03:07 PM
  EnUsNarrow,     // 9/5/2013 2:03:07<U+202F>PM, as newer locale data has it
  Iso,            // 2013-09-05 14:03:07
  TwoDigitYear,   // 05.09.13 14:03:07
  C,              // 5 Sep 2013 14:03:07, Qt's C locale
  LongNames,      // Thursday, September 05, 2013 2:03:07 PM
  UpperDashes,    // 05-SEP-13 14:03:07
  YearFirstName,  // 2013-Sep-05 14:03:07
  GermanNames,    // 5. Sept. 2013 14:03:07, with kGermanShortMonths
  FinnishNames,   // 5. syysk. 2013 14:03:07, with kFinnishShortMonths
};

// Short month names as a locale writes them (UTF-8).
extern const std::array<std::string, 12> kGermanShortMonths;
extern const std::array<std::string, 12> kFinnishShortMonths;

class TestFormat : public acquisition::RegionalFormat {
 public:
  explicit TestFormat(Locale locale) : locale_(locale) {}
  std::string ShortDate(const acquisition::LocalDateTime& when) const override;
  std::string LongTime(const acquisition::LocalDateTime& when) const override;

 private:
  Locale locale_;
};

// count records from start, step seconds apart, each with a millisecond part and values of its own.
std::vector<acquisition::MeasurementRecord> Records(const acquisition::LocalDateTime& start, int count,
                                                    int stepSeconds);

// The record's time as the file keeps it: cut to the second, midnight's first second the date alone.
double FileTime(double DT);

// A run as the writer writes it: header block and data lines.
std::string RunText(const std::vector<acquisition::MeasurementRecord>& records,
                    const acquisition::RegionalFormat& format, const std::string& port = "7",
                    const std::string& serial = "102345", const std::string& firmware = "QRN-2.14");

}  // namespace quarn::datafile::testing
