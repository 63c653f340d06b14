#include "base/Folders.h"

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, which it needs.
#include <shlobj.h>
#else
#include <cstdlib>
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

}  // namespace quarn::base
