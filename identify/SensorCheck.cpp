#include "SensorCheck.h"

#include "link/SerialLink.h"

namespace quarn::identify {

using link::ExchangeOutcome;
using link::ReplyFilter;

CheckResult CheckSensor(IdentityFields& identity, PortStore& store, CheckHost& host, base::MessageBoxes& boxes) {
  const PortStore::Entry entry = store.Read();
  if (entry.status == PortStore::Status::Found) identity.portNumber = std::to_string(entry.port);
  if (entry.status == PortStore::Status::Missing) identity.portNumber.clear();

  if (identity.portNumber.empty()) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Make full search port and sens");
    return CheckResult::Unchanged;
  }

  link::PortHandle port;
  auto finish = [&] {
    if (port) port->Close();
    return identity.serialNumber.empty() || identity.firmware.empty() ? CheckResult::Failed : CheckResult::Unchanged;
  };

  try {
    port = link::OpenPort("COM" + identity.portNumber, link::kEventRxFlag);
  } catch (const link::PortError& e) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok,
               "COM" + identity.portNumber + " port is busy\n\r" + e.what());
    return finish();
  }

  // One identity question; false when the exchange failed or the sensor gave no text (said in a box).
  const auto ask = [&](const char* request, ReplyFilter filter, std::string& answer) {
    const link::ExchangeResult reply = link::ShortExchange(port, request, filter, boxes);
    if (reply.outcome == ExchangeOutcome::Failed) return false;
    answer = reply.text;
    if (!answer.empty()) return true;
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Make full search port ans sens");
    return false;
  };
  if (!ask("#00SRAL?", ReplyFilter::Digits, identity.serialNumber) ||
      !ask("#00SREV?", ReplyFilter::NoCR, identity.firmware)) {
    return finish();
  }

  host.SetIdentityRow(kRowPort, identity.portNumber);
  host.SetIdentityRow(kRowSerial, identity.serialNumber);
  host.SetIdentityRow(kRowFirmware, identity.firmware);
  host.SetIdentityRow(kRowType, "");
  host.SetIdentityRow(kRowRange, "");
  port->Close();
  CheckCoeff(identity, host, boxes);
  finish();
  return CheckResult::Succeeded;
}

void CheckCoeff(const IdentityFields& identity, CheckHost& host, base::MessageBoxes& boxes) {
  link::PortHandle port;
  try {
    port = link::OpenPort("COM" + identity.portNumber, link::kEventRxFlag);
  } catch (const link::PortError&) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port" + identity.portNumber);
    return;
  }
  const link::ExchangeResult type = link::ShortExchange(port, "#00RT?", ReplyFilter::NoCR, boxes);
  if (type.outcome == ExchangeOutcome::Failed) return;
  host.SetIdentityRow(kRowType, type.text);
  const link::ExchangeResult range = link::ShortExchange(port, "#00RX?", ReplyFilter::NoCR, boxes);
  if (range.outcome == ExchangeOutcome::Failed) return;
  host.SetIdentityRow(kRowRange, range.text);
  port->Close();
}

}  // namespace quarn::identify
