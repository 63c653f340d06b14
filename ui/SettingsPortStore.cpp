#include "SettingsPortStore.h"

#include <QSettings>

namespace quarn::ui {

identify::PortStore::Entry SettingsPortStore::Read() {
  QSettings settings("ZOV", "WENLO");
  if (settings.status() != QSettings::NoError) return {Status::Failed, 0};
  const QVariant value = settings.value("Port");
  if (!value.isValid()) return {Status::Missing, 0};
  bool ok = false;
  const int port = value.toInt(&ok);
  if (!ok) return {Status::Failed, 0};
  return {Status::Found, port};
}

void SettingsPortStore::Write(int port) {
  QSettings settings("ZOV", "WENLO");
  settings.setValue("Port", port);
  settings.sync();
}

}  // namespace quarn::ui
