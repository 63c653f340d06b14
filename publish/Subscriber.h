#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "publish/BrokerSensors.h"
#include "publish/BrokerUrl.h"

namespace mqtt {
class async_client;
}

namespace quarn::publish {

struct SubscriberSettings {
  BrokerUrl broker;
  std::string caFile;                          // PEM authorities trusted instead of the system's; empty: the system's
  std::string clientId;                        // empty: one made of the program, the host and the process
  std::chrono::milliseconds retryEvery{2000};  // between first connection attempts
  // How long the broker keeps the subscription and queues records while the connection is away, so that a
  // broker restarted with its persistence, or a short outage, loses the window nothing.
  std::chrono::seconds sessionExpiry{300};
};

// The settings to follow url with: a password given apart from it (read from a file, typed in a dialog), an
// authority file, and whether a password may go over plain mqtt://; nothing, with why, when they do not go
// together (the recorder's rules: a password only over mqtts:// unless insecure, given once, with a user).
std::optional<SubscriberSettings> FollowSettingsOf(std::string_view url, std::optional<std::string> password,
                                                   std::string caFile, bool insecure, std::string& why);

// Follows what the recorders publish under a prefix (prefix/<serial>/record, identity and status, also with
// levels between prefix and serial, as racks below a lab's prefix publish them), on the MQTT
// client library's threads and one of its own: messages are decoded as they come and wait in a queue that
// Take empties. Until the first connection is made it tries again every retryEvery; after that the library
// reconnects by itself. Nothing here waits for the broker except Stop.
class Subscriber {
 public:
  explicit Subscriber(SubscriberSettings settings);
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  void Start();
  // Disconnects (the broker forgets the session) and ends the thread.
  void Stop();

  // What came since the last Take.
  Arrivals Take();

  struct State {
    bool connected = false;
    std::string text;      // one sentence for a status bar: connected, or why not and that it tries again
    uint64_t changes = 0;  // counts changes of the text
  };
  State Now() const;
  const BrokerUrl& Broker() const { return settings_.broker; }

 private:
  void Run(std::stop_token stop);
  void Arrived(const std::string& topic, const std::string& payload);
  void SetState(bool connected, std::string text);

  const SubscriberSettings settings_;
  std::string filter_;
  mutable std::mutex mutex_;  // guards arrivals_, state_, tlsError_, everConnected_
  std::condition_variable wake_;
  Arrivals arrivals_;
  State state_;
  std::string tlsError_;
  bool everConnected_ = false;
  std::jthread thread_;
  // Last: gone first, so that no callback of the library's runs on what is gone.
  std::unique_ptr<mqtt::async_client> client_;
};

}  // namespace quarn::publish
