#pragma once

#include <optional>
#include <string>

#include "base/MessageBoxes.h"
#include "base/SensorIdentity.h"

namespace quarn::identify {

// Names of the identity grid's rows, top to bottom.
inline constexpr const char* kRowPort = "Port";
inline constexpr const char* kRowSerial = "Serial Number";
inline constexpr const char* kRowFirmware = "Firmware rev.";
inline constexpr const char* kRowType = "TYPE CODE";
inline constexpr const char* kRowRange = "RANGE CODE";

// What the check needs of the main window.
class CheckView {
 public:
  virtual ~CheckView() = default;
  virtual void SetIdentityRow(const std::string& row, const std::string& value) = 0;
};

// The remembered port in the per-user store.
class PortStore {
 public:
  enum class Status { Found, Missing, Failed };
  struct Entry {
    Status status = Status::Missing;
    int port = 0;
  };
  virtual ~PortStore() = default;
  // Reads "Port"; Failed when the store cannot be opened or the value is no integer.
  virtual Entry Read() = 0;
  virtual void Write(int port) = 0;
};

// How a check ends for the toolbar: Succeeded when serial number and firmware revision were read; Failed
// when the identity is left incomplete; Unchanged when no port is known, or a fault left an earlier
// complete identity in place.
enum class CheckResult { Unchanged, Failed, Succeeded };

// The Check button: the remembered port, serial number and firmware revision, then ReadTypeAndRange.
// Runs on the GUI thread and blocks it while it talks to the sensor. The caller sets the toolbar from the result.
CheckResult CheckSensor(base::SensorIdentity& identity, PortStore& store, CheckView& view, base::MessageBoxes& boxes);

// Type and range code on the port of `identity`, kept in it and shown. A silent sensor empties the two rows
// without a box.
void ReadTypeAndRange(base::SensorIdentity& identity, CheckView& view, base::MessageBoxes& boxes);

}  // namespace quarn::identify
