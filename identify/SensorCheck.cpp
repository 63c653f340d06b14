#include "SensorCheck.h"

#include "link/SerialLink.h"

namespace quarn::identify {

using link::ExchangeOutcome;
using link::ReplyFilter;

void CheckSensor(IdentityFields& identity, PortStore& store, CheckHost& host, MessageBoxes& boxes) {
  const PortStore::Entry entry = store.Read();
  if (entry.status == PortStore::Status::Found) identity.RCom = std::to_string(entry.port);
  if (entry.status == PortStore::Status::Missing) identity.RCom.clear();

  if (identity.RCom.empty()) {
    boxes.Show(BoxKind::Error, BoxButtons::Ok, "Make full search port and sens");
    return;
  }

  link::PortHandle port;
  auto finish = [&] {
    if (port) port->Close();
    if (identity.RSN.empty() || identity.RType.empty()) host.ApplyToolbar(ToolbarColumn::CheckFailure);
  };

  try {
    port = link::OpenPort("COM" + identity.RCom, link::EV_RXFLAG);
  } catch (const link::PortError& e) {
    boxes.Show(BoxKind::Error, BoxButtons::Ok, "COM" + identity.RCom + " port is busy\n\r" + e.what());
    finish();
    return;
  }

  const link::ExchangeResult serial = link::ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
  if (serial.outcome == ExchangeOutcome::Failed) return finish();
  identity.RSN = serial.text;
  if (identity.RSN.empty()) {
    boxes.Show(BoxKind::Error, BoxButtons::Ok, "Make full search port ans sens");
    return finish();
  }

  const link::ExchangeResult firmware = link::ShortExchange(port, "#00SREV?", ReplyFilter::NoCR, boxes);
  if (firmware.outcome == ExchangeOutcome::Failed) return finish();
  identity.RType = firmware.text;
  if (identity.RType.empty()) {
    boxes.Show(BoxKind::Error, BoxButtons::Ok, "Make full search port ans sens");
    return finish();
  }

  host.ApplyToolbar(ToolbarColumn::CheckSuccess);
  host.SetIdentityRow(kRowPort, identity.RCom);
  host.SetIdentityRow(kRowSerial, identity.RSN);
  host.SetIdentityRow(kRowFirmware, identity.RType);
  host.SetIdentityRow(kRowType, "");
  host.SetIdentityRow(kRowRange, "");
  port->Close();
  CheckCoeff(identity, host, boxes);
  finish();
}

void CheckCoeff(const IdentityFields& identity, CheckHost& host, MessageBoxes& boxes) {
  link::PortHandle port;
  try {
    port = link::OpenPort("COM" + identity.RCom, link::EV_RXFLAG);
  } catch (const link::PortError&) {
    boxes.Show(BoxKind::Error, BoxButtons::Ok, "Not successful open COM port" + identity.RCom);
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
