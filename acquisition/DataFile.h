#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/DateTime.h"
#include "acquisition/MeasurementStore.h"
#include "acquisition/RegionalFormat.h"

namespace quarn::acquisition {

// Decimal text of value, prefixed with "0" until it is at least width characters long.
std::string ZeroPadded(int64_t value, int width);

// The data file of a series of runs: folder + serial + "(" + firmware + ") " + d-m-yyyy + " " + h%m + ".txt",
// numbers without leading zeros ("%" where a time would have its colon). The serial number and firmware
// revision are taken as they are; DataFileNameProblem says whether they can be part of a file name.
std::string DataFileName(const std::string& saveFolder, const std::string& serialNumber, const std::string& firmware,
                         const LocalDateTime& start);

// Why the serial number or the firmware revision cannot be part of a file name on Linux or Windows (a control
// character, or one of / \ : * ? " < > |), naming the character; nothing when both can.
std::optional<std::string> DataFileNameProblem(std::string_view serialNumber, std::string_view firmware);

// Record times (UTC day numbers) become local wall-clock text here and in the functions below, and nowhere else.

// Record time as written in the file: short date, a blank, long time; the date alone within the first
// second after midnight. UTF-8.
std::string RecordTimeText(double DT, const RegionalFormat& format);

// Record time to the millisecond, for the live table and marker files: short date, a blank, long time with
// three digits of milliseconds after its seconds (20:37:58.412, 8:37:58.412 PM), midnight included. UTF-8.
std::string RecordTimeTextMs(double DT, const RegionalFormat& format);

// The local short date, long time, and both with a blank between, of a record time: the texts of chart axes,
// panels and titles, the same as the files write.
std::string LocalDateText(double DT, const RegionalFormat& format);
std::string LocalClockText(double DT, const RegionalFormat& format);
std::string LocalDateTimeText(double DT, const RegionalFormat& format);

// The keys of a header block's lines, as HeaderBlock writes them and the data file reader reads them.
inline constexpr std::string_view kPortKey = "Port: ";      // then "COM" and the port number
inline constexpr std::string_view kSerialKey = "SN: ";      // then the serial number
inline constexpr std::string_view kFirmwareKey = "Type: ";  // then the firmware revision

// The five header lines that open every run in the file, in the file's code page, CR LF line ends.
std::string HeaderBlock(const std::string& portNumber, const std::string& serialNumber, const std::string& firmware);

// One data line: the time text and the ten values as five-digit numbers, TAB-separated, CR LF;
// in the file's code page.
std::string DataLine(const MeasurementRecord& record, const RegionalFormat& format);

// Creates the save folder (UTF-8 path) when it is missing, one level only. False when it is still missing.
bool EnsureSaveFolder(const std::string& folder);

// The data file while a run writes it. Every line goes to the system at once, so a failed line is
// reported with that line and nothing is held back in a buffer of ours. Paths are UTF-8; on Windows they
// are opened through the wide-character calls, and others may read or delete the file while it is open.
class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Opens path for writing at its end, creating it when missing. On failure reason says why.
  bool Open(const std::string& path, std::string& reason);
  // Opens path as Open does and only then lets go of the file open so far; on failure that one stays open.
  bool Reopen(const std::string& path, std::string& reason);
  // Writes all bytes. When the device takes only part of them, the file is cut back to where it was
  // (where the device allows it), so a failed line leaves no fragment behind.
  bool Write(std::string_view bytes, std::string& reason);
  // Pushes the contents to the disk and closes. Idempotent.
  void Close();
  bool IsOpen() const;
  // Whether the open file has lost its last name (it, or its folder, was deleted): what is written now is
  // lost when the file is closed.
  bool Unlinked() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // the file's HANDLE while open
  std::wstring path_;       // the name it was opened under
#else
  int fd_ = -1;
#endif
};

}  // namespace quarn::acquisition
