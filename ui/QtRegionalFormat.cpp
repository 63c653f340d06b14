#include "QtRegionalFormat.h"

#include <QDate>
#include <QTime>

#include "ui/LocaleText.h"

namespace quarn::ui {

std::string QtRegionalFormat::ShortDate(const acquisition::LocalDateTime& when) const {
  const QLocale locale = QLocale();
  return locale.toString(QDate(when.year, when.month, when.day), ShortDateFormat(locale)).toStdString();
}

std::string QtRegionalFormat::LongTime(const acquisition::LocalDateTime& when) const {
  const QLocale locale = QLocale();
  return locale.toString(QTime(when.hour, when.minute, when.second), LongTimeFormat(locale)).toStdString();
}

}  // namespace quarn::ui
