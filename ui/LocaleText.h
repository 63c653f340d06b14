#pragma once

#include <QLocale>
#include <QString>

namespace quarn::ui {

// The user's short date format and long time format; the time format loses its time-zone part.
QString ShortDateFormat(const QLocale& locale = QLocale::system());
QString LongTimeFormat(const QLocale& locale = QLocale::system());

}  // namespace quarn::ui
