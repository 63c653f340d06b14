#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "publish/NumberRanges.h"
#include "publish/Received.h"

namespace quarn::publish {

// What came from a broker since the last look, each kind in arrival order.
struct Arrivals {
  std::vector<ReceivedRecord> records;
  std::vector<ReceivedIdentity> identities;
  std::vector<std::pair<std::string, std::string>> statuses;  // serial, "online", "stopped" or "offline"
  size_t unreadable = 0;  // messages under the prefix that were no record, identity or status
};

// One sensor's records as they came from the broker, each (run, seq) once and all in time order. QoS 1 may
// deliver a record twice, and records published again from the data file after an outage come late, among
// the live ones. The store only appends: a batch that lies wholly after the last record is appended; one
// with a record earlier than that empties the store and fills it again with the records merged in order
// (Rebuilt), which the window then draws again as it does a data file read again. This costs one pass over
// the sensor's records per look that brings late ones, and holds nothing back from the live display.
class BrokerSensor {
 public:
  explicit BrokerSensor(std::string serial) : serial_(std::move(serial)) {}

  struct Taken {
    size_t added = 0;
    size_t duplicates = 0;
    bool rebuilt = false;  // the store was emptied and filled again
  };
  Taken Take(std::vector<ReceivedRecord> records);

  const std::string& Serial() const { return serial_; }
  const acquisition::MeasurementStore& Store() const { return store_; }
  const std::optional<ReceivedIdentity>& Identity() const { return identity_; }
  void SetIdentity(ReceivedIdentity identity) { identity_ = std::move(identity); }
  // The last status its recorder published ("online", "stopped", "offline"); empty before one came.
  const std::string& Status() const { return status_; }
  void SetStatus(std::string status) { status_ = std::move(status); }
  size_t Duplicates() const { return duplicates_; }
  size_t Rebuilds() const { return rebuilds_; }

 private:
  std::string serial_;
  acquisition::MeasurementStore store_;
  std::map<std::string, NumberRanges> seen_;  // run -> the seq numbers taken
  std::optional<ReceivedIdentity> identity_;
  std::string status_;
  size_t duplicates_ = 0;
  size_t rebuilds_ = 0;
};

// The sensors publishing under a prefix, in the order they joined. A sensor joins with its first record or
// when it says it is online; the retained identities and statuses of sensors that are stopped or gone (a
// broker keeps them for ever) are kept aside until then.
class BrokerSensors {
 public:
  struct Changes {
    std::vector<size_t> joined;   // new sensors, by index
    std::vector<size_t> rebuilt;  // sensors whose store was filled again
    std::vector<size_t> changed;  // sensors with records, an identity or a status new since the last look
  };
  Changes Take(Arrivals arrivals);

  size_t Count() const { return sensors_.size(); }
  const BrokerSensor& Sensor(size_t index) const { return *sensors_[index]; }
  // The index of the sensor with this serial number; nothing when it has not joined.
  std::optional<size_t> Find(const std::string& serial) const;

 private:
  size_t Join(const std::string& serial, Changes& changes);

  std::vector<std::unique_ptr<BrokerSensor>> sensors_;
  std::map<std::string, size_t> index_;
  std::map<std::string, ReceivedIdentity> identityAside_;
  std::map<std::string, std::string> statusAside_;
};

}  // namespace quarn::publish
