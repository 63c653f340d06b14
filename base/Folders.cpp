#include "base/Folders.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, which it needs.
#include <shlobj.h>
#else
#include <fstream>
#include <string>
#endif

namespace quarn::base {

#ifdef _WIN32

std::filesystem::path ProgramFolder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return std::filesystem::path(name).parent_path();
    }
    name.resize(name.size() * 2);
  }
}

std::filesystem::path DocumentsFolder() {
  wchar_t* folder = nullptr;
  std::filesystem::path result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &folder))) result = folder;
  CoTaskMemFree(folder);
  return result;
}

#else

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : program.parent_path();
}

std::filesystem::path DocumentsFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::filesystem::path configFolder =
      config != nullptr && *config != '\0' ? std::filesystem::path(config) : std::filesystem::path(home) / ".config";
  // Lines such as XDG_DOCUMENTS_DIR="$HOME/Dokumente"; an absolute path is taken as it is.
  std::ifstream dirs(configFolder / "user-dirs.dirs");
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  for (std::string line; std::getline(dirs, line);) {
    if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value.front() == '/') return value;
  }
  return std::filesystem::path(home) / "Documents";
}

#endif

std::filesystem::path SharedDataFolder(const std::filesystem::path& programFolder) {
  return (programFolder / ".." / "share" / "quarn-eval").lexically_normal();
}

std::filesystem::path UserDataFolder() {
#ifdef _WIN32
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || *local == '\0') return {};
  return std::filesystem::path(local) / "quarn-eval";
#else
  const char* data = std::getenv("XDG_DATA_HOME");
  // The base directory specification ignores a relative value.
  if (data != nullptr && *data == '/') return std::filesystem::path(data) / "quarn-eval";
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  return std::filesystem::path(home) / ".local" / "share" / "quarn-eval";
#endif
}

namespace {

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Copies each default the user folder lacks; the copy is the user's to write, whatever the default's mode.
void SeedUserFolder(const std::filesystem::path& defaults, const std::filesystem::path& user) {
  for (const char* name : kOwnFileNames) {
    std::error_code error;
    if (!IsFile(defaults / name) || std::filesystem::exists(user / name, error) || error) continue;
    if (std::filesystem::copy_file(defaults / name, user / name, error)) {
      std::filesystem::permissions(user / name,
                                   std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, error);
    }
  }
}

}  // namespace

std::filesystem::path OwnFilesFolder(const std::filesystem::path& programFolder,
                                     const std::filesystem::path& userFolder,
                                     const std::function<bool(const std::filesystem::path&)>& takesNewFiles) {
  const bool portable = IsFile(programFolder / kOwnFileNames[0]);
  if (portable && takesNewFiles(programFolder)) return programFolder;
  const std::filesystem::path defaults = portable ? programFolder : SharedDataFolder(programFolder);
  if (!IsFile(defaults / kOwnFileNames[0])) return programFolder;
  if (userFolder.empty()) return defaults;
  std::error_code error;
  std::filesystem::create_directories(userFolder, error);
  if (error || !takesNewFiles(userFolder)) return defaults;
  SeedUserFolder(defaults, userFolder);
  return userFolder;
}

}  // namespace quarn::base
