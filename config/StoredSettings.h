#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quarn::config {

// A text field of the settings files: one length byte, then Capacity bytes holding a scrambled value of total
// Capacity - 2. All members are bytes, so the records below have no gaps and are their file layout.
template <size_t Capacity>
struct ScrambledField {
  uint8_t Length = 0;
  std::array<uint8_t, Capacity> Bytes{};

  static constexpr int kTotal = static_cast<int>(Capacity) - 2;
};

// The mail account, file setting2.bin.
struct MailSettingsRecord {
  ScrambledField<52> Host;         // SMTP server name
  ScrambledField<9> Port;          // SMTP port as decimal text
  ScrambledField<52> Login;        // login, also the sender address
  ScrambledField<42> Password;     // mail password
  ScrambledField<52> TestAddress;  // recipient of the test mail
  uint8_t UseTLS = 0;              // 0 = "none ciphering", 1 = "SSL/TSL"
};

// The FTP account, file setting3.bin. Server, port and folder come from the criteria file.
struct FtpSettingsRecord {
  ScrambledField<52> Account;   // FTP user name
  ScrambledField<42> Password;  // FTP password
  uint8_t Passive = 0;          // 0 = active mode, 1 = passive mode
};

static_assert(sizeof(MailSettingsRecord) == 213);
static_assert(offsetof(MailSettingsRecord, Port) == 53 && offsetof(MailSettingsRecord, Login) == 63);
static_assert(offsetof(MailSettingsRecord, Password) == 116 && offsetof(MailSettingsRecord, TestAddress) == 159);
static_assert(offsetof(MailSettingsRecord, UseTLS) == 212);
static_assert(sizeof(FtpSettingsRecord) == 97);
static_assert(offsetof(FtpSettingsRecord, Password) == 53 && offsetof(FtpSettingsRecord, Passive) == 96);

inline constexpr const char* kMailSettingsFileName = "setting2.bin";
inline constexpr const char* kFtpSettingsFileName = "setting3.bin";

// Scrambles UTF-8 text into the field (through Windows-1252, '?' for characters outside it); the length byte
// becomes the capacity, as the file format requires.
template <size_t Capacity>
void SetScrambledText(ScrambledField<Capacity>& field, std::string_view utf8Text);

// The field's text as UTF-8. A damaged length byte is bounded by the capacity.
template <size_t Capacity>
std::string ScrambledText(const ScrambledField<Capacity>& field);

// Create or replace folder/setting2.bin (setting3.bin) with the one record. All or nothing: on failure the
// old file is untouched. Throws FileError with the system's text.
void SaveMailSettings(const std::filesystem::path& folder, const MailSettingsRecord& record);
void SaveFtpSettings(const std::filesystem::path& folder, const FtpSettingsRecord& record);

// The first record of the existing file; the caller tests first that the file exists. Throws FileError with
// the system's text, also for a file shorter than one record. Bytes after the first record are ignored.
MailSettingsRecord LoadMailSettings(const std::filesystem::path& folder);
FtpSettingsRecord LoadFtpSettings(const std::filesystem::path& folder);

// Implementation of the field templates, for the capacities in use.
namespace detail {
void SetScrambledText(uint8_t& length, uint8_t* bytes, size_t capacity, std::string_view utf8Text);
std::string ScrambledText(uint8_t length, const uint8_t* bytes, size_t capacity);
}  // namespace detail

template <size_t Capacity>
void SetScrambledText(ScrambledField<Capacity>& field, std::string_view utf8Text) {
  detail::SetScrambledText(field.Length, field.Bytes.data(), Capacity, utf8Text);
}

template <size_t Capacity>
std::string ScrambledText(const ScrambledField<Capacity>& field) {
  return detail::ScrambledText(field.Length, field.Bytes.data(), Capacity);
}

}  // namespace quarn::config
