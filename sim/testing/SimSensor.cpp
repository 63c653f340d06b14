#include <algorithm>

#include "SimSensor.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace quarn::sim {

namespace {

constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr auto kExitTimeout = std::chrono::seconds(5);
constexpr auto kControlTimeout = std::chrono::seconds(10);

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error("SimSensor: " + what + ": " + std::strerror(errno));
}

std::string MakeTemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-sim-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw SystemError("mkdtemp");
  return pattern;
}

}  // namespace

SimSensor::SimSensor(Options options) : options_(std::move(options)), portDir_(options_.portDir) {
  if (portDir_.empty()) {
    portDir_ = MakeTemporaryFolder();
    ownsPortDir_ = true;
  }
  int control[2] = {-1, -1};
  int output[2] = {-1, -1};
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    const std::runtime_error error = SystemError("socketpair/pipe");
    for (int fd : {control[0], control[1], output[0], output[1]}) {
      if (fd >= 0) close(fd);
    }
    Stop();
    throw error;
  }
  controlFd_ = control[0];
  outputFd_ = output[0];

  // A test that aborts never runs our destructor; the simulator then ends with the test process.
  std::vector<std::string> args = {QUARN_SIM_PATH, "--exit-with-parent",        "--port-dir", portDir_,
                                   "--com",        std::to_string(options_.com)};
  // The simulator takes each option once: a test's own arguments replace these.
  const std::pair<const char*, std::string> defaults[] = {{"--baud", std::to_string(options_.baud)},
                                                          {"--tau", std::to_string(options_.tau)},
                                                          {"--gas", std::to_string(options_.gas)}};
  for (const auto& [name, value] : defaults) {
    if (std::find(options_.args.begin(), options_.args.end(), name) != options_.args.end()) continue;
    args.push_back(name);
    args.push_back(value);
  }
  args.insert(args.end(), options_.args.begin(), options_.args.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, control[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  const int spawnError = posix_spawn(&pid_, QUARN_SIM_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(control[1]);
  close(output[1]);
  if (spawnError != 0) {
    pid_ = -1;
    Stop();
    errno = spawnError;
    throw SystemError(std::string("cannot start ") + QUARN_SIM_PATH);
  }
  reader_ = std::thread([this] { ReadOutput(); });

  if (options_.waitReady && !WaitReady(kReadyTimeout)) {
    Stop();
    throw std::runtime_error("SimSensor: the simulator did not publish COM" + std::to_string(options_.com) + " in " +
                             portDir_);
  }
}

SimSensor::~SimSensor() { Stop(); }

int SimSensor::Com() const {
  std::lock_guard lock(mutex_);
  return com_ > 0 ? com_ : options_.com;
}

std::string SimSensor::PortLink() const { return portDir_ + "/COM" + std::to_string(Com()); }

std::string SimSensor::PtsPath() const {
  std::lock_guard lock(mutex_);
  return ptsPath_;
}

void SimSensor::Control(const std::string& line) {
  int refusedBefore = 0;
  int target = 0;
  {
    std::lock_guard lock(mutex_);
    refusedBefore = controlsRefused_;
    target = controlsSent_ + 1;
  }
  if (!SendControl(line)) throw std::runtime_error("SimSensor: the simulator is gone; cannot send \"" + line + "\"");
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, kControlTimeout, [&] { return controlsConfirmed_ >= target || outputEnded_; }) ||
      controlsConfirmed_ < target) {
    throw std::runtime_error("SimSensor: no confirmation of \"" + line + "\"");
  }
  if (controlsRefused_ > refusedBefore) throw std::runtime_error("SimSensor: the simulator refused \"" + line + "\"");
}

bool SimSensor::SendControl(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    if (line == "plug" || line == "unplug") readyBaseline_ = readyLines_;
    if (line == "plug") unpluggedBaseline_ = unpluggedLines_;
    ++controlsSent_;
  }
  const std::string text = line + "\n";
  size_t sent = 0;
  while (sent < text.size()) {
    // MSG_NOSIGNAL: a simulator that has already ended must not kill the test with SIGPIPE.
    if (controlFd_ < 0) return false;
    const ssize_t n = send(controlFd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void SimSensor::CloseControl() {
  if (controlFd_ >= 0) close(controlFd_);
  controlFd_ = -1;
}

void SimSensor::Signal(int signal) {
  if (pid_ > 0 && !reaped_) kill(pid_, signal);
}

std::vector<std::string> SimSensor::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool SimSensor::WaitReceived(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

std::vector<std::chrono::steady_clock::time_point> SimSensor::ReceivedTimes() const {
  std::lock_guard lock(mutex_);
  return receivedTimes_;
}

SimSensor::RequestLog SimSensor::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int SimSensor::Lost() const {
  std::lock_guard lock(mutex_);
  return lostLines_;
}

bool SimSensor::WaitReady(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return plugged_ && readyLines_ > readyBaseline_; });
}

bool SimSensor::WaitUnplugged(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return !plugged_ && unpluggedLines_ > unpluggedBaseline_; });
}

bool SimSensor::WaitExited(std::chrono::milliseconds timeout) {
  if (pid_ <= 0 || reaped_) return true;
  {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return outputEnded_; })) return false;
  }
  // Standard output closes a moment before the process is gone; poll the rest of the way.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  return true;
}

void SimSensor::ReadOutput() {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(outputFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      std::lock_guard lock(mutex_);
      if (line.rfind("RX ", 0) == 0) {
        received_.push_back(line.substr(3));
        receivedTimes_.push_back(std::chrono::steady_clock::now());
      } else if (line.rfind("READY ", 0) == 0) {
        ++readyLines_;
        plugged_ = true;
        const size_t space = line.rfind(' ');
        ptsPath_ = line.substr(space + 1);
        // "READY COM<n> <pts>"
        com_ = std::atoi(line.c_str() + std::string("READY COM").size());
      } else if (line.rfind("DONE ", 0) == 0) {
        ++controlsConfirmed_;
      } else if (line.rfind("REFUSED ", 0) == 0) {
        ++controlsConfirmed_;
        ++controlsRefused_;
      } else if (line.rfind("IN ", 0) == 0) {
        ++requests_.arrived;
        const size_t pendingNow = std::strtoul(line.c_str() + line.rfind(' ') + 1, nullptr, 10);
        requests_.mostPending = std::max(requests_.mostPending, pendingNow);
      } else if (line.rfind("ANSWERED ", 0) == 0) {
        ++requests_.answered;
      } else if (line.rfind("LOST ", 0) == 0) {
        ++lostLines_;
        ++requests_.lost;
      } else if (line == "UNPLUGGED") {
        ++unpluggedLines_;
        plugged_ = false;
      }
      changed_.notify_all();
    }
  }
  std::lock_guard lock(mutex_);
  outputEnded_ = true;
  plugged_ = false;
  changed_.notify_all();
}

void SimSensor::Stop() {
  if (pid_ > 0 && !reaped_) {
    if (controlFd_ < 0 || !SendControl("quit")) kill(pid_, SIGTERM);
    if (!WaitExited(kExitTimeout)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
    }
  }
  if (controlFd_ >= 0) close(controlFd_);
  controlFd_ = -1;
  if (reader_.joinable()) reader_.join();
  if (outputFd_ >= 0) close(outputFd_);
  outputFd_ = -1;

  // A killed simulator leaves its link behind, and pts numbers are reused by the next pseudo-terminal.
  std::error_code ec;
  const std::string link = PortLink();
  if (std::filesystem::is_symlink(link, ec)) {
    const std::string target = std::filesystem::read_symlink(link, ec).string();
    if (!ec && target == PtsPath()) std::filesystem::remove(link, ec);
  }
  if (ownsPortDir_) std::filesystem::remove_all(portDir_, ec);
}

ScopedPortDir::ScopedPortDir(const std::string& dir) {
  if (const char* old = std::getenv("QUARN_PORT_DIR")) previous_ = old;
  setenv("QUARN_PORT_DIR", dir.c_str(), 1);
}

ScopedPortDir::~ScopedPortDir() {
  if (previous_) {
    setenv("QUARN_PORT_DIR", previous_->c_str(), 1);
  } else {
    unsetenv("QUARN_PORT_DIR");
  }
}

}  // namespace quarn::sim
