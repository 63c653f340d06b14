// libFuzzer target: the data-file reader on arbitrary file content, under each date order of a locale.
#include <cstdint>
#include <span>
#include <string_view>

#include "acquisition/DateTime.h"
#include "base/testing/FuzzCheck.h"
#include "datafile/DataFileReader.h"

using quarn::base::FuzzCheck;
namespace datafile = quarn::datafile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  datafile::ReadOptions options;
  options.localeOrder = static_cast<datafile::DateOrder>(data[0] % 3);
  // And with a locale's month names passed in, some with letters beyond ASCII.
  if (data[0] & 0x80)
    options.shortMonthNames = {"Jan.", "Feb.", "M\u00e4rz", "Apr.", "Mai",  "Juni",
                               "Juli", "Aug.", "Sept.",     "Okt.", "Nov.", "Dez."};
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  size_t delivered = 0;
  double previousBatchEnd = 0;
  try {
    const datafile::ReadResult result =
        datafile::ReadDataBytes(bytes, options, [&](std::span<const quarn::acquisition::MeasurementRecord> batch) {
          FuzzCheck(!batch.empty());
          for (const auto& record : batch) {
            // Years 1900..9999: a date that reads is a calendar date.
            FuzzCheck(record.DT > 0 && record.DT < 2'958'466);
          }
          previousBatchEnd = batch.back().DT;
          delivered += batch.size();
        });
    FuzzCheck(!result.cancelled);
    FuzzCheck(result.records == delivered);
    FuzzCheck(delivered == 0 || result.lastDT == previousBatchEnd);
    FuzzCheck(result.skippedLines <= result.lines);
    FuzzCheck((result.skippedLines == 0) == (result.firstSkippedLine == 0));
    FuzzCheck(result.firstSkippedLine <= result.lines);
    FuzzCheck(result.firstSkippedText.size() <= 3 * 200);
    FuzzCheck(!result.runs.empty() || delivered == 0);
    size_t counted = 0;
    size_t previousFirst = 0;
    for (const datafile::Run& run : result.runs) {
      FuzzCheck(run.firstRecord >= previousFirst && run.firstRecord == counted);
      FuzzCheck(run.headerLine <= result.lines);
      previousFirst = run.firstRecord;
      counted += run.recordCount;
    }
    FuzzCheck(counted == delivered);
  } catch (const datafile::DataFileError& error) {
    FuzzCheck(delivered == 0);
    FuzzCheck(std::string_view(error.what()).starts_with("The file "));
  }
  return 0;
}
