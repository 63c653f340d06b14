#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quarn::recorder::testing {

// Runs build/bin/quarn-record for one test, its standard output and error going to files, and kills it
// in the destructor if it still runs. The environment is this process's with the given changes.
class RecorderProcess {
 public:
  struct Options {
    std::vector<std::string> args;
    std::string portDir;                   // QUARN_PORT_DIR
    std::vector<std::string> environment;  // further NAME=VALUE entries
    std::optional<long> fileSizeLimit;     // RLIMIT_FSIZE in bytes
    // Standard output: a file Out() reads, a full device, or a pipe whose reader has gone.
    enum class Output { File, Full, ClosedPipe } output = Output::File;
    std::optional<uid_t> user;  // runs as this user and group id (nobody: 65534) instead of root
  };

  explicit RecorderProcess(Options options);
  ~RecorderProcess();
  RecorderProcess(const RecorderProcess&) = delete;
  RecorderProcess& operator=(const RecorderProcess&) = delete;

  void Signal(int signal);
  // The exit status once the process has ended within timeout (128 + n when a signal n ended it).
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  std::string Out() const;
  std::string Err() const;
  std::vector<std::string> OutLines() const;
  std::vector<std::string> ErrLines() const;
  bool WaitForOutLines(size_t count, std::chrono::milliseconds timeout) const;

 private:
  std::string folder_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Waits for the recorder to end (at most timeout) and returns its exit status; -1 when it did not end.
int RunToEnd(RecorderProcess& process, std::chrono::milliseconds timeout = std::chrono::seconds(60));

std::vector<std::string> SplitLines(const std::string& text);
std::string ReadWholeFile(const std::string& path);

}  // namespace quarn::recorder::testing
