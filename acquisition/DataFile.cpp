#include "DataFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "link/CodePage.h"
#include "link/SerialPort.h"

namespace quarn::acquisition {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kRule = "================";

}  // namespace

std::string IntToStrV(int64_t value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

std::string DataFileName(const std::string& FLocalSave, const std::string& RSN, const std::string& RType,
                         const LocalDateTime& start) {
  return FLocalSave + RSN + "(" + RType + ") " + std::to_string(start.day) + "-" +
         std::to_string(start.month) + "-" + std::to_string(start.year) + " " + std::to_string(start.hour) +
         "%" + std::to_string(start.minute) + ".txt";
}

std::string RecordTimeText(double DT, const RegionalFormat& format) {
  const LocalDateTime when = DecodeDT(DT);
  std::string text = format.ShortDate(when);
  if (when.hour == 0 && when.minute == 0 && when.second == 0) return text;
  return text + " " + format.LongTime(when);
}

std::string HeaderBlock(const std::string& RCom, const std::string& RSN, const std::string& RType) {
  std::string text;
  text += kRule;
  text += kLineEnd;
  text += "Port: COM" + RCom + kLineEnd;
  text += "SN: " + RSN + kLineEnd;
  text += "Type: " + RType + kLineEnd;
  text += kRule;
  text += kLineEnd;
  return Utf8ToCp1252(text);
}

std::string DataLine(const TData& r, const RegionalFormat& format) {
  std::string line = RecordTimeText(r.DT, format);
  for (uint16_t value : {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}) {
    line += '\t';
    line += IntToStrV(value, 5);
  }
  line += kLineEnd;
  return Utf8ToCp1252(line);
}

bool EnsureSaveFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path(folder);
  if (std::filesystem::is_directory(path, error)) return true;
  std::filesystem::create_directory(path, error);
  return std::filesystem::is_directory(path, error);
}

DataFile::~DataFile() { Close(); }

bool DataFile::Open(const std::string& path, std::string& reason) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ >= 0) return true;
  reason = "Cannot open file \"" + path + "\". " + link::SystemErrorText(errno);
  return false;
}

bool DataFile::Write(std::string_view bytes, std::string& reason) {
  if (fd_ < 0) {
    reason = link::SystemErrorText(EBADF);
    return false;
  }
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int code = n < 0 ? errno : ENOSPC;
    if (done > 0 && before >= 0 && ::ftruncate(fd_, before) != 0) {
      // A device that cannot be cut back keeps the fragment; the warning has told the user.
    }
    reason = link::SystemErrorText(code);
    return false;
  }
  return true;
}

void DataFile::Close() {
  if (fd_ < 0) return;
  // Devices such as /dev/full refuse fsync; only regular files need it.
  ::fsync(fd_);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace quarn::acquisition
