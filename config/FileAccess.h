#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarn::config {

// A file operation that failed; what() is the system's text for the failure (strerror), or a plain
// English text where the system has none (a file shorter than expected).
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The path as UTF-8, for message texts.
std::string PathText(const std::filesystem::path& path);

// Whether something exists at the path. Throws FileError when the system cannot tell (for example a folder
// on the way that cannot be searched).
bool FileExists(const std::filesystem::path& path);

// All bytes of the file. Throws FileError.
std::string ReadWholeFile(const std::filesystem::path& path);

// At most maxBytes bytes from the start of the file. Throws FileError.
std::string ReadFileStart(const std::filesystem::path& path, size_t maxBytes);

// Replaces the file's content with bytes, all or nothing: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the old file. On failure the old file is untouched
// and the temporary file is removed. Throws FileError.
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace quarn::config
