#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quarn::console {

// A file that could not be read or written; what() is the whole text for the error box, naming the file
// and giving the system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether something exists at the path (UTF-8). A path the system cannot look at counts as existing,
// so that reading it reports why.
bool FileExists(const std::string& path);

// The entries of the command file at path (UTF-8). Throws FileError.
std::vector<std::string> ReadCommandFile(const std::string& path);

// Creates or overwrites the file and writes the lines as they are. A failure part-way leaves what was
// written before it. Throws FileError.
void WriteLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace quarn::console
