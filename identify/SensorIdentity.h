#pragma once

#include <string>

#include "base/SensorIdentity.h"

namespace quarn::identify {

// How an identification ended; the recorder's exit status tells these apart.
enum class IdentifyStatus {
  Ok,
  PortAbsent,    // no such port, or no sensor with the asked serial number on any free port
  PortBusy,      // another program holds the port
  NoPermission,  // the port exists but this user may not open it
  SensorSilent,  // the sensor gave no serial number or firmware revision
  Failed,        // an exchange failed
};

struct IdentifyResult {
  IdentifyStatus status = IdentifyStatus::Ok;
  base::SensorIdentity identity;
  std::string error;  // one line saying why, when status is not Ok
};

// Asks the sensor on port (decimal text) for serial number, firmware revision, type code and range code,
// with the window's exchanges, and closes the port again. A missing port, one held by another program and a
// sensor that gives no serial number or firmware revision are told apart by the status.
IdentifyResult IdentifyPort(const std::string& port);

// The first free port from 1 to highestPort whose sensor answers with this serial number, identified as
// IdentifyPort does. Ports held by other programs are left alone; PortAbsent when no port answers so.
IdentifyResult FindSerial(const std::string& serial, int highestPort = 255);

// Port, serial number, firmware revision, type code and range code, one per line.
std::string IdentityLines(const base::SensorIdentity& identity);

}  // namespace quarn::identify
