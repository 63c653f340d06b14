#include "LocaleText.h"

#include <QRegularExpression>

namespace quarn::chart {

QString ShortDateFormat(const QLocale& locale) { return locale.dateFormat(QLocale::ShortFormat); }

QString LongTimeFormat(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  // Drop the time-zone field ("t", "tt", ...) with the blank or brackets around it.
  static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?"));
  format.remove(zone);
  return format.trimmed();
}

}  // namespace quarn::chart
