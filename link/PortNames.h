#pragma once

#include <optional>
#include <string>

namespace quarn::link {

// The number n of a name "COM<n>" (n >= 1); nothing for any other name.
std::optional<int> ComNumber(const std::string& name);

// The Windows device name for "COM<n>": names longer than four characters get the device-namespace
// prefix \\.\ (COM10 and up), shorter ones stay as they are.
std::string WindowsDeviceName(const std::string& name);

// The device behind "COM<n>" on this system. Windows: the device name itself (WindowsDeviceName).
// POSIX: with QUARN_PORT_DIR set, port n is the entry COM<n> of that folder and there are no others.
// Otherwise COM1..32 are /dev/ttyUSB0..31, COM33..64 /dev/ttyACM0..31, COM65..96 /dev/ttyS0..31; any other
// name has no device (empty result).
std::string DevicePathForPort(const std::string& name);

}  // namespace quarn::link
