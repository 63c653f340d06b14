#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "identify/SensorCheck.h"

namespace quarn::identify {

// Scanned port numbers run from 1 to this, ascending.
inline constexpr int kHighestScannedPort = 255;

// Tries to open a device by its Windows name ("COM3", "\\.\COM12") for reading and writing, exclusively.
// Nothing when it cannot be opened (absent or held by another program); otherwise whether closing it
// again succeeded.
using DeviceProbe = std::function<std::optional<bool>(const std::string& deviceName)>;

// The probe on this system: the name goes through the program's port names (QUARN_PORT_DIR or /dev/tty*).
// The port's line settings are left alone; a port locked or made exclusive by another program is absent.
std::optional<bool> OpenAndCloseDevice(const std::string& deviceName);

// The ports 1..255 that open now, ascending; each is closed at once. A port that cannot be closed
// gets the box "Not successful close COM port<n>" and still counts.
std::vector<int32_t> ScanPorts(base::MessageBoxes& boxes, const DeviceProbe& probe = OpenAndCloseDevice);

// The entries of scan that are not in baseline, in scan order.
std::vector<int32_t> PortsNotIn(const std::vector<int32_t>& scan, const std::vector<int32_t>& baseline);

// "1,3,12"; empty for no ports.
std::string PortListText(const std::vector<int32_t>& ports);

// The next frame of the searching animation; any text outside the cycle stays as it is.
std::string NextSearchingText(const std::string& text);

// Sets one value of the results grid ("Port", "Serial Number", "Firmware rev.").
using SetResultRow = std::function<void(const std::string& row, const std::string& value)>;

// Asks the new ports, lowest first, for a serial number and takes the first that answers (or the last
// one when none does), then asks it for the firmware revision. True when all three rows were set and
// the port closed; false when a box has ended the probe early. No port stays open either way.
bool ProbeNewPorts(const std::vector<int32_t>& newPorts, const std::string& address, const SetResultRow& setRow,
                   base::MessageBoxes& boxes);

// The main window's side after the wizard: on OK copies the results into identity, shows them, remembers
// the port (a port that is no number is not stored); otherwise shows the identity
// it had. Then, in both cases, ReadTypeAndRange on identity.portNumber. The caller sets the toolbar first.
// The sensor of a run answered again under another port number: the identity, the Port row and the
// remembered port follow it, so that the next Check and Start find it where it is.
void ApplyMovedPort(const std::string& portNumber, base::SensorIdentity& identity, PortStore& store, CheckView& view);

void ApplySearchResult(bool ok, const base::SensorIdentity& result, base::SensorIdentity& identity, PortStore& store,
                       CheckView& view, base::MessageBoxes& boxes);

}  // namespace quarn::identify
