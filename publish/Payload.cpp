#include "Payload.h"

#include <unistd.h>

#include <cstdio>

#include "acquisition/DateTime.h"

namespace quarn::publish {

std::string UtcText(double DT, bool withMilliseconds) {
  const acquisition::LocalDateTime t = acquisition::DecodeDayNumber(DT);
  char text[40];
  if (withMilliseconds)
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  return text;
}

std::string RunText(double firstRecordDT) { return UtcText(firstRecordDT, false); }

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string RecordPayload(std::string_view serial, const acquisition::MeasurementRecord& r, std::string_view run,
                          uint64_t seq) {
  std::string json = "{\"serial\":" + JsonString(serial) + ",\"time\":\"" + UtcText(r.DT) + "\"";
  json += ",\"conc\":" + std::to_string(r.C2);
  json += ",\"st\":" + std::to_string(r.S);
  json += ",\"temp\":" + std::to_string(r.T);
  json += ",\"um\":" + std::to_string(r.Uo);
  json += ",\"ur\":" + std::to_string(r.Ur);
  json += ",\"status\":" + std::to_string(r.K);
  json += ",\"run\":\"" + std::string(run) + "\",\"seq\":" + std::to_string(seq) + "}";
  return json;
}

std::string IdentityPayload(const IdentityFacts& f) {
  const std::string interval = std::to_string(f.intervalMs / 1000) +
                               (f.intervalMs % 1000 ? "." + std::to_string(f.intervalMs % 1000 / 100) : "");
  return "{\"serial\":" + JsonString(f.sensor.serialNumber) + ",\"firmware\":" + JsonString(f.sensor.firmware) +
         ",\"type\":" + JsonString(f.sensor.typeCode) + ",\"range\":" + JsonString(f.sensor.rangeCode) +
         ",\"port\":" + JsonString("COM" + f.sensor.portNumber) + ",\"host\":" + JsonString(f.host) +
         ",\"file\":" + JsonString(f.dataFile) + ",\"interval\":" + interval + "}";
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string RecordTopic(std::string_view prefix, std::string_view serial) {
  return std::string(prefix) + "/" + std::string(serial) + "/record";
}
std::string IdentityTopic(std::string_view prefix, std::string_view serial) {
  return std::string(prefix) + "/" + std::string(serial) + "/identity";
}
std::string StatusTopic(std::string_view prefix, std::string_view serial) {
  return std::string(prefix) + "/" + std::string(serial) + "/status";
}

}  // namespace quarn::publish
