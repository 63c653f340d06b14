#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quarn::sim {

// Runs quarn-sensor-sim for one test: starts it, follows its standard output on a thread of its own,
// feeds it control lines, and ends it (and cleans up its folder and link) in the destructor.
class SimSensor {
 public:
  struct Options {
    int com = 7;
    std::string portDir;            // empty: a fresh temporary folder, removed in the destructor
    std::vector<std::string> args;  // extra command-line arguments
    bool waitReady = true;          // false for --appear-after
    // The line's speed; 9600 as a real sensor. Tests that need many replies quickly raise it.
    int baud = 9600;
    // The chamber's time constant in seconds; 0 (a new gas at once) unless a test wants response curves.
    double tau = 0;
    // The gas at the start; tests begin from none unless their args say --gas.
    double gas = 0;
  };

  // Starts the process; waits for READY (10 s) or throws std::runtime_error.
  explicit SimSensor(Options options);
  ~SimSensor();
  SimSensor(const SimSensor&) = delete;
  SimSensor& operator=(const SimSensor&) = delete;

  const std::string& PortDir() const { return portDir_; }
  // The port number it appears under: the one it started with, or the last "plug N" line's.
  int Com() const;
  // PortDir()/COM<n>
  std::string PortLink() const;
  // The /dev/pts node of the last READY; empty before the first.
  std::string PtsPath() const;

  // One control line to the simulator's standard input ("gas 500", "unplug", ...). Returns once the
  // simulator has confirmed it, so it is in force for every request written to the port afterwards;
  // throws std::runtime_error when the simulator refuses it or does not confirm it within 10 s.
  void Control(const std::string& line);
  // Ends the simulator's standard input, as when the demo starts it with stdin closed; the destructor
  // then ends it with SIGTERM.
  void CloseControl();
  // Sends a signal to the simulator process (SIGTERM to test a clean exit).
  void Signal(int signal);
  // Request texts seen so far ("#00SRAL?", ...).
  std::vector<std::string> Received() const;
  bool WaitReceived(size_t count, std::chrono::milliseconds timeout) const;
  // When each of Received() was reported, in the same order.
  std::vector<std::chrono::steady_clock::time_point> ReceivedTimes() const;
  // Requests lost so far because they arrived while the simulator's input buffer was full.
  int Lost() const;
  // The simulator's account of the requests that reached it.
  struct RequestLog {
    size_t arrived = 0;   // whole requests taken into its input buffer
    size_t answered = 0;  // requests whose reply has gone out to its last byte
    size_t lost = 0;      // requests that did not fit the input buffer
    // The most requests that were ever waiting or being answered at once, counting each when it arrived.
    size_t mostPending = 0;
  };
  RequestLog Requests() const;
  // True once the port is published: the first time, or again after the last "plug"/"unplug" line.
  bool WaitReady(std::chrono::milliseconds timeout);
  // True once the port went away after the last "plug" line (by "unplug" or --disappear-after).
  bool WaitUnplugged(std::chrono::milliseconds timeout);
  // True once the process has ended (after "quit" or a signal).
  bool WaitExited(std::chrono::milliseconds timeout);

 private:
  void ReadOutput();
  // Writes a control line without waiting for its confirmation; false when the simulator is gone.
  bool SendControl(const std::string& line);
  void Stop();

  Options options_;
  std::string portDir_;
  bool ownsPortDir_ = false;
  pid_t pid_ = -1;
  int controlFd_ = -1;
  int outputFd_ = -1;
  std::thread reader_;
  // Set once the process has been reaped, so that nothing signals a reused process id.
  bool reaped_ = false;

  // Guards the fields below: the output thread writes the counts and texts, Control() the baselines.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> received_;
  std::vector<std::chrono::steady_clock::time_point> receivedTimes_;
  std::string ptsPath_;
  int com_ = 0;
  int readyLines_ = 0;
  int unpluggedLines_ = 0;
  int lostLines_ = 0;
  RequestLog requests_;
  // Control lines written, and confirmations (or refusals) read back.
  int controlsSent_ = 0;
  int controlsConfirmed_ = 0;
  int controlsRefused_ = 0;
  bool plugged_ = false;
  bool outputEnded_ = false;
  int readyBaseline_ = 0;
  int unpluggedBaseline_ = 0;
};

// Options for a test whose time runs at timeScale (base::SetTimeScale): the line is as much faster, so
// that a shortened pause still covers what a real line carries in the full one.
inline SimSensor::Options LineAtTimeScale(double timeScale) {
  SimSensor::Options options;
  options.baud = static_cast<int>(9600 / timeScale);
  return options;
}

// Points QUARN_PORT_DIR of this process at dir for its lifetime (restores the old value).
class ScopedPortDir {
 public:
  explicit ScopedPortDir(const std::string& dir);
  ~ScopedPortDir();
  ScopedPortDir(const ScopedPortDir&) = delete;
  ScopedPortDir& operator=(const ScopedPortDir&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace quarn::sim
