#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/MeasurementStore.h"
#include "base/SensorIdentity.h"

namespace quarn::publish {

// A record time (UTC day number) as "2026-12-10T14:03:07.412Z"; withMilliseconds false drops ".412".
std::string UtcText(double DT, bool withMilliseconds = true);

// The start of a run as its records name it: the time of its first record to the whole second, the
// resolution the data file keeps, so that a record read back from the file names the same run as when it
// went out live.
std::string RunText(double firstRecordDT);

// Text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

// {"serial":"102345","time":"...","conc":402,"st":3100,"temp":25,"um":1500,"ur":1200,"status":0,
//  "run":"...","seq":12345}
std::string RecordPayload(std::string_view serial, const acquisition::MeasurementRecord& record, std::string_view run,
                          uint64_t seq);

// What the retained identity message tells about the sensor and its recorder.
struct IdentityFacts {
  base::SensorIdentity sensor;
  std::string host;      // the recording PC's name
  std::string dataFile;  // the data file's name, without its folder
  int32_t intervalMs = 0;
};
std::string IdentityPayload(const IdentityFacts& facts);

// This PC's name, for the identity message.
std::string HostName();

// The topics under a prefix: prefix/<serial>/record, .../identity, .../status.
std::string RecordTopic(std::string_view prefix, std::string_view serial);
std::string IdentityTopic(std::string_view prefix, std::string_view serial);
std::string StatusTopic(std::string_view prefix, std::string_view serial);

}  // namespace quarn::publish
