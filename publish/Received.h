#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/MeasurementStore.h"

namespace quarn::publish {

// A member of a flat JSON object: a string's text unescaped, or a number's or literal's text as written.
struct JsonMember {
  bool isString = false;
  std::string text;
};
// The members of one flat JSON object (no nested objects or arrays); nothing when the text is no such object.
std::optional<std::map<std::string, JsonMember>> ParseFlatJson(std::string_view text);

// A record as a recorder publishes it (RecordPayload read back). The values the payload does not carry
// (par5, par6, par7, C1) are 0.
struct ReceivedRecord {
  std::string serial;
  std::string run;
  uint64_t seq = 0;
  acquisition::MeasurementRecord record;
};
// Nothing when the payload is not a whole record (a member missing, a value out of range, a bad time).
std::optional<ReceivedRecord> DecodeRecord(std::string_view payload);

// A sensor's identity as its recorder publishes it (IdentityPayload read back); members it lacks stay empty.
struct ReceivedIdentity {
  std::string serial;
  std::string firmware;
  std::string type;
  std::string range;
  std::string port;  // as published ("COM7")
  std::string host;
  std::string dataFile;
  std::string interval;  // seconds, as published ("0.5")
};
std::optional<ReceivedIdentity> DecodeIdentity(std::string_view payload);

// "2026-12-10T14:03:07.412Z" (milliseconds optional) as a record time; nothing when it is no such time.
std::optional<double> DayNumberFromUtcText(std::string_view text);

}  // namespace quarn::publish
