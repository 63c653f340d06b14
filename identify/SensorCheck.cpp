#include "SensorCheck.h"

#include "link/IdentityRequests.h"
#include "link/SerialLink.h"

namespace quarn::identify {

using link::ExchangeOutcome;

CheckResult CheckSensor(base::SensorIdentity& identity, PortStore& store, CheckView& view, base::MessageBoxes& boxes) {
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
  const auto ask = [&](const link::IdentityRequest& request, std::string& answer) {
    const link::ExchangeResult reply = link::AskIdentity(port, request, boxes);
    if (reply.outcome == ExchangeOutcome::Failed) return false;
    answer = reply.text;
    if (!answer.empty()) return true;
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Make full search port ans sens");
    return false;
  };
  if (!ask(link::kSerialNumberRequest, identity.serialNumber) || !ask(link::kFirmwareRequest, identity.firmware)) {
    return finish();
  }

  view.SetIdentityRow(kRowPort, identity.portNumber);
  view.SetIdentityRow(kRowSerial, identity.serialNumber);
  view.SetIdentityRow(kRowFirmware, identity.firmware);
  identity.typeCode.clear();
  identity.rangeCode.clear();
  view.SetIdentityRow(kRowType, "");
  view.SetIdentityRow(kRowRange, "");
  port->Close();
  ReadTypeAndRange(identity, view, boxes);
  finish();
  return CheckResult::Succeeded;
}

void ReadTypeAndRange(base::SensorIdentity& identity, CheckView& view, base::MessageBoxes& boxes) {
  link::PortHandle port;
  try {
    port = link::OpenPort("COM" + identity.portNumber, link::kEventRxFlag);
  } catch (const link::PortError&) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port" + identity.portNumber);
    return;
  }
  const link::ExchangeResult type = link::AskIdentity(port, link::kTypeCodeRequest, boxes);
  if (type.outcome == ExchangeOutcome::Failed) return;
  identity.typeCode = type.text;
  view.SetIdentityRow(kRowType, identity.typeCode);
  const link::ExchangeResult range = link::AskIdentity(port, link::kRangeCodeRequest, boxes);
  if (range.outcome == ExchangeOutcome::Failed) return;
  identity.rangeCode = range.text;
  view.SetIdentityRow(kRowRange, identity.rangeCode);
  port->Close();
}

}  // namespace quarn::identify
