#include "RecorderProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "base/testing/WaitUntil.h"

extern char** environ;

namespace quarn::recorder::testing {

namespace {

std::map<std::string, std::string> EnvironmentWith(const RecorderProcess::Options& options) {
  std::map<std::string, std::string> entries;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const size_t equals = entry.find('=');
    if (equals != std::string::npos) entries[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  // The time column then reads the same on every machine.
  entries["LC_ALL"] = "C";
  if (!options.portDir.empty()) entries["QUARN_PORT_DIR"] = options.portDir;
  for (const std::string& entry : options.environment) {
    const size_t equals = entry.find('=');
    entries[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
  }
  return entries;
}

}  // namespace

RecorderProcess::RecorderProcess(Options options) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-record-out-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;

  // Everything the child needs is built before fork: after it, only async-signal-safe calls.
  std::vector<std::string> args = {QUARN_RECORD_PATH};
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (const auto& [name, value] : EnvironmentWith(options)) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string outPath = folder_ + "/out";
  const std::string errPath = folder_ + "/err";
  const pid_t parent = getpid();
  int pipeEnds[2] = {-1, -1};
  if (options.output == Options::Output::ClosedPipe) {
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    // No reader at all, before the recorder could write a line.
    close(pipeEnds[0]);
    pipeEnds[0] = -1;
  }

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that dies takes its recorder with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int out = options.output == Options::Output::ClosedPipe ? pipeEnds[1]
                    : options.output == Options::Output::Full
                        ? open("/dev/full", O_WRONLY)
                        : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.user && (setgroups(0, nullptr) != 0 || setgid(*options.user) != 0 || setuid(*options.user) != 0))
      _exit(127);
    if (options.fileSizeLimit) {
      const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit), static_cast<rlim_t>(*options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
}

RecorderProcess::~RecorderProcess() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void RecorderProcess::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}

std::optional<int> RecorderProcess::WaitExit(std::chrono::milliseconds timeout) {
  base::WaitUntil(
      [&] {
        int status = 0;
        if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_)
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_.has_value();
      },
      timeout);
  return status_;
}

std::string RecorderProcess::Out() const { return ReadWholeFile(folder_ + "/out"); }
std::string RecorderProcess::Err() const { return ReadWholeFile(folder_ + "/err"); }
std::vector<std::string> RecorderProcess::OutLines() const { return SplitLines(Out()); }
std::vector<std::string> RecorderProcess::ErrLines() const { return SplitLines(Err()); }

bool RecorderProcess::WaitForOutLines(size_t count, std::chrono::milliseconds timeout) const {
  return base::WaitUntil([&] { return OutLines().size() >= count; }, timeout);
}

int RunToEnd(RecorderProcess& process, std::chrono::milliseconds timeout) {
  return process.WaitExit(timeout).value_or(-1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  // A line still being written is not a line yet.
  if (!text.empty() && text.back() != '\n') lines.pop_back();
  return lines;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quarn::recorder::testing
