#include "Publisher.h"

#include <mqtt/async_client.h>
#include <algorithm>
#include <limits>
#include <map>

#include "datafile/DataFileReader.h"
#include "publish/BrokerLogin.h"
#include "publish/Cursor.h"
#include "publish/FileRecords.h"
#include "publish/NumberRanges.h"
#include "publish/Payload.h"

namespace quarn::publish {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often at most a cursor file is rewritten while acknowledgements stream in: a crash between two writes
// costs records published again, never records skipped.
constexpr milliseconds kCursorEvery{200};

// Record numbers acknowledged: the first range from 1 is what the cursor holds; live records acknowledged
// while older ones are still read back form a second one.
using AckedRanges = NumberRanges;

}  // namespace

struct Publisher::FileState {
  std::string path;
  std::string cursorFile;
  AckedRanges acked;
  uint64_t cursorWritten = 0;
  bool current = false;
  bool replayNeeded = true;
  std::optional<uint64_t> records;  // how many the file held at its last complete read
};

struct Publisher::InFlight {
  FileState* file;
  uint64_t number;
  mqtt::delivery_token_ptr token;
};

struct Publisher::Connection {
  mqtt::async_client client;
  mqtt::connect_options options;
  std::mutex mutex;      // guards tlsError, written by the library's thread
  std::string tlsError;  // the last TLS failure the library told of
  Connection(const std::string& address, const std::string& id) : client(address, id) {}
};

Publisher::Publisher(PublisherSettings settings, std::function<void(const std::string&)> say)
    : settings_(std::move(settings)), say_(std::move(say)) {
  auto add = [&](const std::string& path, bool current) {
    const std::string cursorFile = CursorPath(path);
    const uint64_t cursor = ReadCursor(cursorFile);
    files_.push_back(std::unique_ptr<FileState>(
        new FileState{path, cursorFile, AckedRanges(cursor), cursor, current, true, std::nullopt}));
  };
  add(settings_.dataFile, true);
  for (const std::string& path : settings_.earlierFiles) {
    if (path != settings_.dataFile) add(path, false);
  }
}

Publisher::~Publisher() { Stop(); }

void Publisher::Start() {
  connection_ = std::make_unique<Connection>(settings_.broker.ServerAddress(), "quarn-record-" + settings_.serial);
  mqtt::connect_options& options = connection_->options;
  options.set_clean_session(true);
  options.set_keep_alive_interval(10);
  options.set_connect_timeout(5);
  options.set_automatic_reconnect(false);
  options.set_will(
      mqtt::will_options(StatusTopic(settings_.broker.prefix, settings_.serial), std::string("offline"), 1, true));
  Connection* connection = connection_.get();
  SetLogin(options, settings_.broker, settings_.caFile, [connection](const std::string& text) {
    const std::lock_guard lock(connection->mutex);
    connection->tlsError = text;
  });
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void Publisher::Offer(const acquisition::MeasurementRecord& record) {
  {
    const std::lock_guard lock(mutex_);
    ++offered_;
    if (offered_ == 1) runText_ = RunText(record.DT);
    // A full hand-off leaves the record to the file, read back once the thread catches up.
    if (handOff_.size() < settings_.handOff) handOff_.push_back({offered_, record});
  }
  wake_.notify_one();
}

void Publisher::Stop(milliseconds grace) {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    grace_ = grace;
  }
  thread_.request_stop();
  wake_.notify_one();
  thread_.join();
}

bool Publisher::Connect() {
  {
    const std::lock_guard lock(connection_->mutex);
    connection_->tlsError.clear();
  }
  std::string problem;
  try {
    connection_->client.connect(connection_->options)->wait();
  } catch (const mqtt::exception& e) {
    problem = e.what();
  }
  if (problem.empty() && !connection_->client.is_connected()) problem = "not connected";
  if (!problem.empty()) {
    std::string tls;
    {
      const std::lock_guard lock(connection_->mutex);
      tls = connection_->tlsError;
    }
    if (!tls.empty()) problem += " (TLS: " + tls + ")";
    if (problem != lastProblem_) {
      lastProblem_ = problem;
      say_("publish: cannot connect to " + settings_.broker.Shown() + ": " + problem +
           "; nothing is published, the records stay in the data file and go out once it connects");
    }
    return false;
  }
  lastProblem_.clear();
  connected_ = true;
  if (everConnected_ || settings_.tellFirstConnection)
    say_(std::string("publish: ") + (everConnected_ ? "connected again to " : "connected to ") +
         settings_.broker.Shown());
  everConnected_ = true;
  const std::string& prefix = settings_.broker.prefix;
  try {
    connection_->client.publish(IdentityTopic(prefix, settings_.serial), settings_.identityPayload.data(),
                                settings_.identityPayload.size(), 1, true);
    connection_->client.publish(StatusTopic(prefix, settings_.serial), "online", 6, 1, true);
  } catch (const mqtt::exception& e) {
    LoseConnection(e.what());
    return false;
  }
  liveFrom_.reset();
  liveNext_.reset();
  for (auto& file : files_) file->replayNeeded = true;
  return true;
}

void Publisher::LoseConnection(const std::string& why) {
  connected_ = false;
  inFlight_.clear();
  liveFrom_.reset();
  liveNext_.reset();
  WriteCursors(true);
  if (why != lastProblem_) {
    lastProblem_ = why;
    say_("publish: lost the broker " + settings_.broker.Shown() + " (" + why +
         "); records stay in the data file and go out once it is back");
  }
  try {
    if (connection_->client.is_connected()) connection_->client.disconnect()->wait_for(milliseconds(1000));
  } catch (const mqtt::exception&) {
  }
}

bool Publisher::Publish(FileState& file, uint64_t number, const std::string& run, uint64_t seq,
                        const acquisition::MeasurementRecord& record) {
  const std::string payload = RecordPayload(settings_.serial, record, run, seq);
  try {
    inFlight_.push_back({&file, number,
                         connection_->client.publish(RecordTopic(settings_.broker.prefix, settings_.serial),
                                                     payload.data(), payload.size(), 1, false)});
  } catch (const mqtt::exception& e) {
    LoseConnection(e.what());
    return false;
  }
  return true;
}

void Publisher::WriteCursors(bool now) {
  if (!now && Clock::now() - lastCursorWrite_ < kCursorEvery) return;
  lastCursorWrite_ = Clock::now();
  for (auto& file : files_) {
    const uint64_t prefix = file->acked.Prefix();
    if (prefix == file->cursorWritten) continue;
    std::string why;
    if (WriteCursor(file->cursorFile, prefix, why)) {
      file->cursorWritten = prefix;
    } else if (why != lastProblem_) {
      lastProblem_ = why;
      say_("publish: cursor not written: " + why + "; records will be published again, none skipped");
    }
  }
}

uint64_t Publisher::ReplayBound(const FileState& file) const {
  if (!file.current) return std::numeric_limits<uint64_t>::max();
  if (liveFrom_) return *liveFrom_ - 1;
  const std::lock_guard lock(mutex_);
  return settings_.recordsBefore + offered_;
}

bool Publisher::Pump() {
  if (!connection_->client.is_connected()) {
    LoseConnection("connection lost");
    return false;
  }
  for (auto it = inFlight_.begin(); it != inFlight_.end();) {
    bool complete = false;
    bool failed = false;
    try {
      complete = it->token->try_wait();
    } catch (const mqtt::exception&) {
      complete = failed = true;
    }
    if (!complete) {
      ++it;
      continue;
    }
    if (failed) {
      LoseConnection("a record was refused");
      return false;
    }
    it->file->acked.Add(it->number);
    it = inFlight_.erase(it);
  }
  WriteCursors(false);

  std::deque<Offered> live;
  std::string run;
  {
    const std::lock_guard lock(mutex_);
    live.swap(handOff_);
    run = runText_;
  }
  FileState& current = *files_.front();
  for (const Offered& offered : live) {
    const uint64_t number = settings_.recordsBefore + offered.seq;
    // A record that missed the hand-off (or the window) is read back from the file.
    if (!liveNext_ || number != *liveNext_) {
      if (liveFrom_) current.replayNeeded = true;
      liveFrom_ = number;
    }
    liveNext_ = number + 1;
    if (current.acked.Contains(number)) continue;
    bool pending = false;
    for (const InFlight& f : inFlight_) pending = pending || (f.file == &current && f.number == number);
    if (pending) continue;
    if (inFlight_.size() >= settings_.window) {
      current.replayNeeded = true;
      liveNext_.reset();
      continue;
    }
    if (!Publish(current, number, run, offered.seq, offered.record)) return false;
  }
  return true;
}

void Publisher::Replay(FileState& file, const std::function<bool()>& ended) {
  const milliseconds step =
      settings_.replayPerSecond > 0 ? milliseconds(1000 / settings_.replayPerSecond) : milliseconds(0);
  const uint64_t perStep =
      settings_.replayPerSecond > 1000 ? static_cast<uint64_t>(settings_.replayPerSecond / 1000) : 1;
  Clock::time_point nextAt = Clock::now();
  uint64_t sentInStep = 0;
  int sinceLive = 0;
  bool connected = true;
  bool finished = true;
  uint64_t total = 0;
  try {
    total = ReadRecordsAfter(file.path, file.acked.Prefix(), settings_.dateOrder, [&](const NumberedRecord& r) {
      if (ended() || !connected) return finished = false;
      if (r.number > ReplayBound(file)) return false;
      if (file.acked.Contains(r.number)) return true;
      for (const InFlight& f : inFlight_) {
        if (f.file == &file && f.number == r.number) return true;
      }
      // Live records go first: the window and the pace leave them room, and they are looked at often.
      if (++sinceLive >= 16) {
        sinceLive = 0;
        if (!(connected = Pump())) return finished = false;
      }
      while (inFlight_.size() >= settings_.window / 2 || (step.count() > 0 && Clock::now() < nextAt)) {
        if (!(connected = Pump()) || ended()) return finished = false;
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, milliseconds(2));
      }
      if (step.count() > 0 && ++sentInStep >= perStep) {
        sentInStep = 0;
        nextAt = std::max(nextAt + step, Clock::now() - milliseconds(100));
      }
      if (!(connected = Publish(file, r.number, r.run, r.seq, r.record))) return finished = false;
      return true;
    });
  } catch (const datafile::DataFileError& e) {
    say_("publish: " + file.path + " cannot be read back: " + e.what());
    file.records = file.acked.Prefix();
    file.replayNeeded = false;
    return;
  }
  if (!connected || !finished) return;
  file.replayNeeded = false;
  if (!file.current) file.records = total;
}

void Publisher::Run(std::stop_token stop) {
  // After a stop request what is waiting gets the grace to go out, backlog included; then the thread ends.
  std::optional<Clock::time_point> giveUpAt;
  const std::function<bool()> ended = [&] {
    if (!stop.stop_requested()) return false;
    if (!giveUpAt) {
      const std::lock_guard lock(mutex_);
      giveUpAt = Clock::now() + grace_;
    }
    return Clock::now() >= *giveUpAt || !connection_->client.is_connected();
  };
  while (!ended()) {
    if (!connection_->client.is_connected()) {
      if (connected_) LoseConnection("connection lost");
      if (!Connect()) {
        // Live records wait in the file while the broker is away.
        std::unique_lock lock(mutex_);
        handOff_.clear();
        wake_.wait_for(lock, settings_.retryEvery, [&] { return stop.stop_requested(); });
        continue;
      }
    }
    if (!Pump()) continue;
    FileState* replay = nullptr;
    for (auto& file : files_) {
      if (file->replayNeeded) {
        replay = file.get();
        break;
      }
    }
    if (replay) {
      Replay(*replay, ended);
      continue;
    }
    // Earlier files whose records are all acknowledged, and their cursors written, are done with.
    std::erase_if(files_, [&](const std::unique_ptr<FileState>& f) {
      return !f->current && f->records && f->cursorWritten >= *f->records;
    });
    std::unique_lock lock(mutex_);
    if (stop.stop_requested() && handOff_.empty() && inFlight_.empty()) break;
    wake_.wait_for(lock, milliseconds(inFlight_.empty() && !stop.stop_requested() ? 100 : 5),
                   [&] { return !handOff_.empty(); });
  }
  WriteCursors(true);
  if (connection_->client.is_connected()) {
    try {
      connection_->client.publish(StatusTopic(settings_.broker.prefix, settings_.serial), "stopped", 7, 1, true)
          ->wait_for(milliseconds(2000));
      connection_->client.disconnect()->wait_for(milliseconds(2000));
    } catch (const mqtt::exception&) {
    }
  }
}

}  // namespace quarn::publish
