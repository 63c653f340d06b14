#include "SensorIdentity.h"

#include <cerrno>
#include <system_error>

#include "link/IdentityRequests.h"
#include "link/PortNames.h"
#include "link/SerialLink.h"

namespace quarn::identify {

namespace {

// Keeps the error box a failed exchange raises, so that its caller reports it as one line with the port's name.
class KeptBoxes : public base::MessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind, base::BoxButtons buttons, const std::string& text) override {
    last = text;
    return buttons == base::BoxButtons::YesNo ? base::BoxAnswer::No : base::BoxAnswer::Ok;
  }
  void Post(base::BoxKind, const std::string& text) override { last = text; }
  std::string last;
};

IdentifyResult Failure(IdentifyStatus status, std::string error) { return {status, {}, std::move(error)}; }

// The port opened as the window opens it, after telling a missing port from a taken one.
IdentifyResult OpenForExchanges(const std::string& port, link::PortHandle& handle) {
  const std::string name = "COM" + port;
  const std::string device = link::DevicePathForPort(name);
  if (device.empty()) return Failure(IdentifyStatus::PortAbsent, name + ": this system has no such port");
  if (const std::error_code error = link::ProbePort(device)) {
    if (error.value() == EBUSY) return Failure(IdentifyStatus::PortBusy, name + " port is busy (" + device + ")");
    if (error.value() == EACCES || error.value() == EPERM)
      return Failure(IdentifyStatus::NoPermission,
                     name + ": " + device + ": " + link::SystemErrorText(error.value()) +
                         ": serial ports belong to the dialout group; add yourself with \"sudo adduser $USER "
                         "dialout\" and log in again");
    return Failure(IdentifyStatus::PortAbsent, name + ": " + device + ": " + link::SystemErrorText(error.value()));
  }
  try {
    handle = link::OpenPort(name, link::kEventRxFlag);
  } catch (const link::PortError& e) {
    // Free a moment ago: another program took it in between.
    return Failure(IdentifyStatus::PortBusy, name + " port is busy (" + base::OneLine(e.what()) + ")");
  }
  return {};
}

}  // namespace

IdentifyResult IdentifyPort(const std::string& port) {
  const std::string name = "COM" + port;
  link::PortHandle handle;
  if (IdentifyResult opened = OpenForExchanges(port, handle); opened.status != IdentifyStatus::Ok) return opened;

  KeptBoxes boxes;
  IdentifyResult result;
  result.identity.portNumber = port;
  struct Question {
    const link::IdentityRequest& request;
    std::string* answer;
    const char* what;  // for a sensor that must answer; null when silence leaves the answer empty
  };
  const Question questions[] = {
      {link::kSerialNumberRequest, &result.identity.serialNumber, "serial number"},
      {link::kFirmwareRequest, &result.identity.firmware, "firmware revision"},
      {link::kTypeCodeRequest, &result.identity.typeCode, nullptr},
      {link::kRangeCodeRequest, &result.identity.rangeCode, nullptr},
  };
  bool lineNotQuiet = false;
  for (const Question& q : questions) {
    const link::ExchangeResult reply = link::AskIdentity(handle, q.request, boxes);
    lineNotQuiet = lineNotQuiet || reply.lineNotQuiet;
    if (reply.outcome == link::ExchangeOutcome::Failed) {
      // The exchange has closed the port.
      return Failure(IdentifyStatus::Failed, name + ": " + base::OneLine(boxes.last));
    }
    if (reply.text.empty() && q.what) {
      handle->Close();
      const std::string busy = lineNotQuiet ? std::string(": ") + link::kLineNotQuiet : "";
      return Failure(IdentifyStatus::SensorSilent,
                     name + ": the sensor does not answer (no " + std::string(q.what) + ")" + busy);
    }
    *q.answer = reply.text;
  }
  handle->Close();
  return result;
}

IdentifyResult FindSerial(const std::string& serial, int highestPort) {
  for (int number = 1; number <= highestPort; ++number) {
    const std::string port = std::to_string(number);
    link::PortHandle handle;
    if (OpenForExchanges(port, handle).status != IdentifyStatus::Ok) continue;
    KeptBoxes boxes;
    const link::ExchangeResult reply = link::AskIdentity(handle, link::kSerialNumberRequest, boxes);
    if (reply.outcome == link::ExchangeOutcome::Failed) continue;
    handle->Close();
    if (reply.text == serial) return IdentifyPort(port);
  }
  return Failure(IdentifyStatus::PortAbsent, "no sensor with serial number " + serial + " answers on a free port");
}

std::string IdentityLines(const base::SensorIdentity& identity) {
  return "Port: COM" + identity.portNumber + "\nSerial Number: " + identity.serialNumber +
         "\nFirmware rev.: " + identity.firmware + "\nTYPE CODE: " + identity.typeCode +
         "\nRANGE CODE: " + identity.rangeCode + "\n";
}

}  // namespace quarn::identify
