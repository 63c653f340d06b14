#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "datafile/FollowedFile.h"

namespace quarn::datafile {

// The data files of a folder that writers are adding to: each file changed within the last minute when
// looked for is followed (FollowedFile), a file that appears or starts changing later joins at the next look.
// Marker files and other files that are not named *.txt are left out.
class FollowedFolder {
 public:
  // How recently a file must have changed to be taken as being written.
  static constexpr std::chrono::minutes kChangedWithin{1};

  FollowedFolder(std::string folder, ReadOptions options);

  // Looks for files being written that are not followed yet and follows them; returns their indices in Files().
  // now: the file system's time now (the files' modification times are compared with it).
  std::vector<size_t> Look(std::filesystem::file_time_type now);
  std::vector<size_t> Look() { return Look(std::filesystem::file_time_type::clock::now()); }

  const std::string& Folder() const { return folder_; }
  const std::vector<std::unique_ptr<FollowedFile>>& Files() const { return files_; }
  FollowedFile& File(size_t index) { return *files_[index]; }

 private:
  std::string folder_;
  ReadOptions options_;
  std::vector<std::unique_ptr<FollowedFile>> files_;
};

}  // namespace quarn::datafile
