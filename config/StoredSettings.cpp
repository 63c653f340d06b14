#include "config/StoredSettings.h"

#include <cstring>
#include <type_traits>

#include "base/Files.h"
#include "config/Codec.h"

namespace quarn::config {

namespace detail {

void SetScrambledText(uint8_t& length, uint8_t* bytes, size_t capacity, std::string_view utf8Text) {
  const std::string value = CodecEncodeUtf8(utf8Text, static_cast<int>(capacity) - 2);
  length = static_cast<uint8_t>(capacity);
  std::memcpy(bytes, value.data(), capacity);
}

std::string ScrambledText(uint8_t length, const uint8_t* bytes, size_t capacity) {
  const size_t size = length < capacity ? length : capacity;
  return CodecDecodeUtf8(std::string_view(reinterpret_cast<const char*>(bytes), size));
}

}  // namespace detail

namespace {

template <typename Record>
void Save(const std::filesystem::path& file, const Record& record) {
  static_assert(std::is_trivially_copyable_v<Record>);
  // Account names and passwords are only scrambled: nobody but the owner may read them.
  base::ReplaceFile(file, std::string_view(reinterpret_cast<const char*>(&record), sizeof record),
                    base::NewFileAccess::OwnerOnly);
}

template <typename Record>
Record Load(const std::filesystem::path& file) {
  const std::string bytes = base::ReadFileStart(file, sizeof(Record));
  if (bytes.size() < sizeof(Record)) {
    // POSIX has no error code for a short read.
    throw base::FileError("Unexpected end of file: " + std::to_string(bytes.size()) + " of " +
                          std::to_string(sizeof(Record)) + " bytes");
  }
  Record record;
  std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

}  // namespace

void SaveMailSettings(const std::filesystem::path& folder, const MailSettingsRecord& record) {
  Save(folder / kMailSettingsFileName, record);
}

void SaveFtpSettings(const std::filesystem::path& folder, const FtpSettingsRecord& record) {
  Save(folder / kFtpSettingsFileName, record);
}

MailSettingsRecord LoadMailSettings(const std::filesystem::path& folder) {
  return Load<MailSettingsRecord>(folder / kMailSettingsFileName);
}

FtpSettingsRecord LoadFtpSettings(const std::filesystem::path& folder) {
  return Load<FtpSettingsRecord>(folder / kFtpSettingsFileName);
}

}  // namespace quarn::config
