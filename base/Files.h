#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

// <windows.h> renames ReplaceFile to its own ReplaceFileW; the name here is ours.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace quarn::base {

// A file operation that failed; what() is the system's text for the failure (strerror, or FormatMessageW
// for a Win32 call), or a plain English text where the system has none (a file shorter than expected).
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The path as UTF-8, for message texts.
std::string PathText(const std::filesystem::path& path);

// Whether something exists at the path. Throws FileError when the system cannot tell (for example a folder
// on the way that cannot be searched).
bool FileExists(const std::filesystem::path& path);

// Whether something exists at the path, where a path the system cannot look at counts as existing, so
// that the read that follows reports why.
bool ExistsOrUnreadable(const std::filesystem::path& path);

// All bytes of the file. Throws FileError.
std::string ReadWholeFile(const std::filesystem::path& path);

// At most maxBytes bytes from the start of the file. Throws FileError.
std::string ReadFileStart(const std::filesystem::path& path, size_t maxBytes);

// Who may read a file that ReplaceFile creates; a file that already exists keeps its own mode and owner.
enum class NewFileAccess {
  Shared,     // the process's default (0666 less the umask)
  OwnerOnly,  // 0600: the file holds account data
};

// Replaces the file's content with bytes. A symbolic link is followed and its target replaced. The bytes go
// to a temporary file beside the target, which is flushed to disk, given the old file's mode and owner and
// renamed over it. When the folder refuses the temporary file but the old file is writable, the old file is
// rewritten in place instead. On failure the old file keeps its bytes and no temporary file is left.
// On Windows the bytes go to a new file beside the target, flushed to disk and moved over it with
// MoveFileExW; the folder's access rules apply to it (NewFileAccess has no effect there).
// Throws FileError.
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes,
                 NewFileAccess access = NewFileAccess::Shared);

// Whether a new file can be made in the folder: tries one and removes it. False for a folder that does not
// exist.
bool FolderTakesNewFiles(const std::filesystem::path& folder);

// For tests, which run as root where no permission refuses anything: while set, creating a file beside
// the target fails with EACCES, as in a folder the user may not write to.
void SimulateFolderRefusingNewFiles(bool refuse);

}  // namespace quarn::base
