#pragma once

#include <QLocale>
#include <QString>

namespace quarn::chart {

// The user's short date format (the default locale: the system's unless a test sets another) and long time format; the
// time format loses its time-zone part.
QString ShortDateFormat(const QLocale& locale = QLocale());
QString LongTimeFormat(const QLocale& locale = QLocale());

}  // namespace quarn::chart
