#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace mqtt {
class async_client;
}

namespace quarn::publish::testing {

// A certificate for localhost and 127.0.0.1 that is its own authority, made by openssl for a test.
struct TestCertificate {
  std::filesystem::path certificate;
  std::filesystem::path key;
};
TestCertificate MakeTestCertificate(const std::filesystem::path& folder, const std::string& name);

// A Mosquitto broker of the test's own on 127.0.0.1, with a config file and a persistence folder in folder:
// a plain listener, and a TLS one when a certificate is given. Stop and Start keep its ports and the sessions
// of subscribers that asked for one, as a restarted broker does.
class MosquittoBroker {
 public:
  MosquittoBroker(std::filesystem::path folder, std::optional<TestCertificate> tls = std::nullopt);
  ~MosquittoBroker();
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  // Starts the process and waits until it takes connections; throws std::runtime_error when it does not.
  void Start();
  void Stop();
  int Port() const { return port_; }
  int TlsPort() const { return tlsPort_; }

 private:
  std::filesystem::path folder_;
  int port_ = 0;
  int tlsPort_ = 0;
  pid_t pid_ = -1;
};

// A subscriber to prefix/# at QoS 1 with a lasting session, so that what is published while it reconnects
// after a broker restart still reaches it.
class RecordCollector {
 public:
  RecordCollector(int port, const std::string& prefix);
  ~RecordCollector();
  RecordCollector(const RecordCollector&) = delete;
  RecordCollector& operator=(const RecordCollector&) = delete;

  // (serial, run, seq) -> how many times it arrived.
  using Key = std::tuple<std::string, std::string, uint64_t>;
  std::map<Key, int> Records() const;
  size_t RecordsFrom(const std::string& serial) const;
  // The last payload on prefix/<serial>/<leaf>, empty when none came.
  std::string Last(const std::string& serial, const std::string& leaf) const;
  // Every payload on prefix/<serial>/<leaf>, in arrival order.
  std::vector<std::string> All(const std::string& serial, const std::string& leaf) const;

 private:
  std::string prefix_;
  std::unique_ptr<mqtt::async_client> client_;
  mutable std::mutex mutex_;  // guards records_ and others_
  std::map<Key, int> records_;
  std::map<std::string, std::vector<std::string>> others_;  // topic -> payloads
};

// A value of a flat JSON object as text (strings without their quotes); empty when missing.
std::string JsonField(const std::string& json, const std::string& name);

}  // namespace quarn::publish::testing
