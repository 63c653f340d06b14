#include "FollowedFolder.h"

#include <algorithm>

namespace quarn::datafile {

FollowedFolder::FollowedFolder(std::string folder, ReadOptions options)
    : folder_(std::move(folder)), options_(std::move(options)) {}

std::vector<size_t> FollowedFolder::Look(std::filesystem::file_time_type now) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::error_code error;
  for (fs::directory_iterator entry(fs::path(folder_), error), end; !error && entry != end; entry.increment(error)) {
    if (!entry->is_regular_file(error) || entry->path().extension() != ".txt") continue;
    const auto written = entry->last_write_time(error);
    if (error || now - written > kChangedWithin) continue;
    const std::string path = entry->path().string();
    const bool followed =
        std::any_of(files_.begin(), files_.end(), [&](const auto& file) { return file->Path() == path; });
    if (!followed) found.push_back(path);
  }
  // In name order, so that the sensors keep their colours from one opening to the next.
  std::sort(found.begin(), found.end());
  std::vector<size_t> added;
  for (const std::string& path : found) {
    added.push_back(files_.size());
    files_.push_back(std::make_unique<FollowedFile>(path, options_));
  }
  return added;
}

}  // namespace quarn::datafile
