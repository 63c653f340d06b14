#include "PortSearch.h"

#include <algorithm>
#include <charconv>

#include "link/IdentityRequests.h"
#include "link/PortNames.h"
#include "link/Protocol.h"
#include "link/SerialLink.h"
#include "link/SerialPort.h"

namespace quarn::identify {

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";

// "\\.\COM12" and "COM12" are the same port.
std::string WithoutDevicePrefix(const std::string& deviceName) {
  const std::string prefix = kDevicePrefix;
  return deviceName.rfind(prefix, 0) == 0 ? deviceName.substr(prefix.size()) : deviceName;
}

std::optional<int> WholeNumber(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<bool> OpenAndCloseDevice(const std::string& deviceName) {
  // Only opens and closes: the settings of a port that another program uses stay as that program set them.
  if (link::ProbePort(link::DevicePathForPort(WithoutDevicePrefix(deviceName)))) return std::nullopt;
  return true;
}

std::vector<int32_t> ScanPorts(base::MessageBoxes& boxes, const DeviceProbe& probe) {
  std::vector<int32_t> present;
  for (int32_t n = 1; n <= kHighestScannedPort; ++n) {
    const std::optional<bool> closed = probe(link::WindowsDeviceName("COM" + std::to_string(n)));
    if (!closed) continue;
    present.push_back(n);
    if (!*closed)
      boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful close COM port" + std::to_string(n));
  }
  return present;
}

std::vector<int32_t> PortsNotIn(const std::vector<int32_t>& scan, const std::vector<int32_t>& baseline) {
  std::vector<int32_t> fresh;
  for (int32_t n : scan) {
    if (std::find(baseline.begin(), baseline.end(), n) == baseline.end()) fresh.push_back(n);
  }
  return fresh;
}

std::string PortListText(const std::vector<int32_t>& ports) {
  std::string text;
  for (int32_t n : ports) {
    if (!text.empty()) text += ',';
    text += std::to_string(n);
  }
  return text;
}

std::string NextSearchingText(const std::string& text) {
  if (text == "Searching ..") return "Searching ...";
  if (text == "Searching ...") return "Searching .";
  if (text == "Searching .") return "Searching ..";
  return text;
}

bool ProbeNewPorts(const std::vector<int32_t>& newPorts, const std::string& address, const SetResultRow& setRow,
                   base::MessageBoxes& boxes) {
  link::PortHandle port;
  // Every way out of the probe leaves the port closed; closing twice is harmless.
  struct CloseOnExit {
    link::PortHandle& port;
    ~CloseOnExit() {
      if (port) port->Close();
    }
  } closeOnExit{port};

  std::string serial;
  for (size_t i = 0; i < newPorts.size(); ++i) {
    const std::string number = std::to_string(newPorts[i]);
    try {
      port = link::OpenPort("COM" + number, link::kEventRxFlag);
    } catch (const link::PortError&) {
      boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port" + number);
      return false;
    }
    setRow(kRowPort, number);
    const link::ExchangeResult reply = link::AskIdentity(port, link::kSerialNumberRequest, boxes, address);
    if (reply.outcome == link::ExchangeOutcome::Failed) return false;
    if (reply.outcome == link::ExchangeOutcome::Answered) {
      serial = reply.text;
      break;
    }
    // A silent last port stays open: its firmware revision is still asked for.
    if (i + 1 < newPorts.size()) port->Close();
  }
  if (!port) return false;
  setRow(kRowSerial, serial);

  const link::ExchangeResult firmware = link::AskIdentity(port, link::kFirmwareRequest, boxes, address);
  if (firmware.outcome == link::ExchangeOutcome::Failed) return false;
  setRow(kRowFirmware, firmware.text);
  port->Close();
  return true;
}

void ApplyMovedPort(const std::string& portNumber, base::SensorIdentity& identity, PortStore& store, CheckView& view) {
  identity.portNumber = portNumber;
  view.SetIdentityRow(kRowPort, portNumber);
  if (const std::optional<int> port = WholeNumber(portNumber)) store.Write(*port);
}

void ApplySearchResult(bool ok, const base::SensorIdentity& result, base::SensorIdentity& identity, PortStore& store,
                       CheckView& view, base::MessageBoxes& boxes) {
  if (ok) identity = {result.portNumber, result.serialNumber, result.firmware, "", ""};
  identity.typeCode.clear();
  identity.rangeCode.clear();
  view.SetIdentityRow(kRowPort, identity.portNumber);
  view.SetIdentityRow(kRowSerial, identity.serialNumber);
  view.SetIdentityRow(kRowFirmware, identity.firmware);
  view.SetIdentityRow(kRowType, "");
  view.SetIdentityRow(kRowRange, "");
  if (ok) {
    if (const std::optional<int> port = WholeNumber(identity.portNumber)) store.Write(*port);
  }
  ReadTypeAndRange(identity, view, boxes);
}

}  // namespace quarn::identify
