// libFuzzer target: the mail and FTP settings files with arbitrary content. A file that loads must save
// and load back to the same record, and every text field must decode within its capacity.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/Files.h"
#include "base/testing/FuzzCheck.h"
#include "config/StoredSettings.h"

using quarn::base::FuzzCheck;

namespace {

namespace fs = std::filesystem;
using namespace quarn::config;

// One folder for the whole run, removed at exit.
struct Folder {
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "quarn-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

template <size_t Capacity>
void CheckField(const ScrambledField<Capacity>& field) {
  // Windows-1252 text as UTF-8: at most three bytes per character.
  FuzzCheck(ScrambledText(field).size() <= 3 * Capacity);
}

template <typename Record, typename Load, typename Save>
void RoundTrip(const fs::path& folder, const char* name, const uint8_t* data, size_t size, Load load, Save save) {
  std::ofstream(folder / name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  Record record;
  try {
    record = load(folder);
  } catch (const quarn::base::FileError&) {
    FuzzCheck(size < sizeof(Record));
    return;
  }
  FuzzCheck(size >= sizeof(Record));
  FuzzCheck(std::memcmp(&record, data, sizeof(Record)) == 0);
  save(folder, record);
  const Record again = load(folder);
  FuzzCheck(std::memcmp(&record, &again, sizeof(Record)) == 0);
  FuzzCheck(fs::file_size(folder / name) == sizeof(Record));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Folder folder;
  RoundTrip<MailSettingsRecord>(folder.path, kMailSettingsFileName, data, size, LoadMailSettings, SaveMailSettings);
  RoundTrip<FtpSettingsRecord>(folder.path, kFtpSettingsFileName, data, size, LoadFtpSettings, SaveFtpSettings);
  if (size >= sizeof(MailSettingsRecord)) {
    MailSettingsRecord mail;
    std::memcpy(&mail, data, sizeof mail);
    CheckField(mail.Host);
    CheckField(mail.Port);
    CheckField(mail.Login);
    CheckField(mail.Password);
    CheckField(mail.TestAddress);
    // What a user types back in is stored and read unchanged, up to the field's room.
    const std::string host = ScrambledText(mail.Host);
    SetScrambledText(mail.Host, host);
    FuzzCheck(ScrambledText(mail.Host).size() <= host.size());
  }
  return 0;
}
