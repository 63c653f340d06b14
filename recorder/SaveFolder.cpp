#include "SaveFolder.h"

#include <cstdlib>
#include <fstream>

namespace quarn::recorder {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The value of XDG_DOCUMENTS_DIR="..." in a user-dirs.dirs file, $HOME expanded; empty when absent.
std::string DocumentsEntry(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    // Only absolute paths count; a relative one would depend on where the recorder was started.
    return !value.empty() && value.front() == '/' ? value : "";
  }
  return "";
}

}  // namespace

std::string WithSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string DocumentsFolder() {
  const std::string home = Environment("HOME");
  // Without a home the folder would land at the root of the file system.
  if (home.empty() || home.front() != '/' || home.find_first_not_of('/') == std::string::npos) return "";
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  const std::string entry = DocumentsEntry(config + "/user-dirs.dirs", home);
  if (!entry.empty()) return entry;
  return home + "/Documents";
}

std::string DefaultSaveFolder() {
  const std::string documents = DocumentsFolder();
  return documents.empty() ? "" : WithSeparator(documents + "/Quarn/Save");
}

}  // namespace quarn::recorder
