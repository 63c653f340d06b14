#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "datafile/DateReading.h"
#include "publish/BrokerUrl.h"

namespace quarn::publish {

struct PublisherSettings {
  BrokerUrl broker;
  std::string caFile;  // PEM authorities trusted instead of the system's (a lab's own, tests); empty: the system's
  std::string serial;
  std::string identityPayload;            // retained under prefix/<serial>/identity at each connection
  std::string dataFile;                   // the file this run appends to
  uint64_t recordsBefore = 0;             // records that file held before this run
  std::vector<std::string> earlierFiles;  // other data files of the sensor whose unpublished rest goes out too
  datafile::DateOrder dateOrder = datafile::DateOrder::DayMonthYear;  // how the files write their dates
  int replayPerSecond = 400;  // records a second read back from files; 0: no bound (benchmarks)
  std::chrono::milliseconds retryEvery{2000};
  size_t window = 100;              // records published and not yet acknowledged, at most
  size_t handOff = 2048;            // live records waiting for the publishing thread, at most
  bool tellFirstConnection = true;  // false: only a lost, refused or regained connection is told
};

// Publishes a recorder's records to an MQTT broker at QoS 1, on a thread of its own. The data file is the
// queue: live records are handed over without waiting (a full hand-off leaves them to the file), and what the
// broker has not acknowledged is read back from the file, in order, at a bounded rate, once it is reachable.
// Each file's "<file>.published" counts its records acknowledged without a gap.
class Publisher {
 public:
  // say gets one line for each change worth telling (broker lost, back, refused); it is called on the
  // publishing thread.
  Publisher(PublisherSettings settings, std::function<void(const std::string&)> say);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  void Start();
  // A record of this run, already in the data file. Never waits for the broker.
  void Offer(const acquisition::MeasurementRecord& record);
  // Gives what is waiting up to grace to be acknowledged, says "stopped", disconnects and joins the thread.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

 private:
  struct FileState;
  struct InFlight;
  struct Connection;
  void Run(std::stop_token stop);
  bool Connect();
  void LoseConnection(const std::string& why);
  // Acknowledgements taken in, live records published, cursors written; false once the connection is gone.
  bool Pump();
  // Reads file back and publishes what the broker has not acknowledged, until ended() or the bound.
  void Replay(FileState& file, const std::function<bool()>& ended);
  bool Publish(FileState& file, uint64_t number, const std::string& run, uint64_t seq,
               const acquisition::MeasurementRecord& record);
  void WriteCursors(bool now);
  uint64_t ReplayBound(const FileState& file) const;

  const PublisherSettings settings_;
  const std::function<void(const std::string&)> say_;
  std::unique_ptr<Connection> connection_;
  std::vector<std::unique_ptr<FileState>> files_;  // the run's file first; touched by the thread only
  std::deque<InFlight> inFlight_;
  std::optional<uint64_t> liveFrom_;  // first live record number published since the connection was made
  std::optional<uint64_t> liveNext_;
  std::chrono::steady_clock::time_point lastCursorWrite_{};
  std::string lastProblem_;
  bool connected_ = false;  // since the last connection made, until its loss was handled
  bool everConnected_ = false;

  struct Offered {
    uint64_t seq;
    acquisition::MeasurementRecord record;
  };
  mutable std::mutex mutex_;  // guards offered_, handOff_, runText_, grace_
  std::condition_variable wake_;
  uint64_t offered_ = 0;
  std::deque<Offered> handOff_;
  std::string runText_;
  std::chrono::milliseconds grace_{0};
  std::jthread thread_;
};

}  // namespace quarn::publish
