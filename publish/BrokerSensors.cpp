#include "BrokerSensors.h"

#include <algorithm>
#include <iterator>
#include <tuple>

namespace quarn::publish {

namespace {

bool Earlier(const acquisition::MeasurementRecord& a, const acquisition::MeasurementRecord& b) { return a.DT < b.DT; }

void AddOnce(std::vector<size_t>& list, size_t index) {
  if (std::find(list.begin(), list.end(), index) == list.end()) list.push_back(index);
}

}  // namespace

BrokerSensor::Taken BrokerSensor::Take(std::vector<ReceivedRecord> records) {
  Taken taken;
  // Records read back from a file carry its times, to the whole second: a run's order settles ties.
  std::sort(records.begin(), records.end(), [](const ReceivedRecord& a, const ReceivedRecord& b) {
    return std::tie(a.record.DT, a.run, a.seq) < std::tie(b.record.DT, b.run, b.seq);
  });
  std::vector<acquisition::MeasurementRecord> fresh;
  fresh.reserve(records.size());
  for (const ReceivedRecord& r : records) {
    if (!seen_[r.run].Add(r.seq)) {
      ++taken.duplicates;
      continue;
    }
    fresh.push_back(r.record);
  }
  duplicates_ += taken.duplicates;
  if (fresh.empty()) return taken;
  taken.added = fresh.size();
  const size_t count = store_.Count();
  if (count == 0 || !Earlier(fresh.front(), store_.At(count - 1))) {
    for (const auto& record : fresh) store_.Append(record);
    return taken;
  }
  // Records already stored stay before new ones of the same time.
  const std::vector<acquisition::MeasurementRecord> stored = store_.ReadFrom(0);
  std::vector<acquisition::MeasurementRecord> merged;
  merged.reserve(stored.size() + fresh.size());
  std::merge(stored.begin(), stored.end(), fresh.begin(), fresh.end(), std::back_inserter(merged), Earlier);
  store_.Clear();
  for (const auto& record : merged) store_.Append(record);
  taken.rebuilt = true;
  ++rebuilds_;
  return taken;
}

std::optional<size_t> BrokerSensors::Find(const std::string& serial) const {
  const auto found = index_.find(serial);
  if (found == index_.end()) return std::nullopt;
  return found->second;
}

size_t BrokerSensors::Join(const std::string& serial, Changes& changes) {
  if (const auto known = Find(serial)) return *known;
  const size_t index = sensors_.size();
  sensors_.push_back(std::make_unique<BrokerSensor>(serial));
  index_[serial] = index;
  if (auto identity = identityAside_.extract(serial)) sensors_[index]->SetIdentity(std::move(identity.mapped()));
  if (auto status = statusAside_.extract(serial)) sensors_[index]->SetStatus(std::move(status.mapped()));
  changes.joined.push_back(index);
  return index;
}

BrokerSensors::Changes BrokerSensors::Take(Arrivals arrivals) {
  Changes changes;
  for (ReceivedIdentity& identity : arrivals.identities) {
    if (const auto known = Find(identity.serial)) {
      sensors_[*known]->SetIdentity(std::move(identity));
      AddOnce(changes.changed, *known);
    } else {
      const std::string serial = identity.serial;
      identityAside_[serial] = std::move(identity);
    }
  }
  for (auto& [serial, status] : arrivals.statuses) {
    std::optional<size_t> known = Find(serial);
    if (!known && status == "online") known = Join(serial, changes);
    if (known) {
      sensors_[*known]->SetStatus(std::move(status));
      AddOnce(changes.changed, *known);
    } else {
      statusAside_[serial] = std::move(status);
    }
  }
  std::map<size_t, std::vector<ReceivedRecord>> bySensor;
  for (ReceivedRecord& record : arrivals.records) {
    const size_t index = Join(record.serial, changes);
    bySensor[index].push_back(std::move(record));
  }
  for (auto& [index, records] : bySensor) {
    const BrokerSensor::Taken taken = sensors_[index]->Take(std::move(records));
    if (taken.rebuilt) changes.rebuilt.push_back(index);
    if (taken.added > 0) AddOnce(changes.changed, index);
  }
  return changes;
}

}  // namespace quarn::publish
