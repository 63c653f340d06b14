#pragma once

#include <QStringList>

class QTableWidget;
class QWidget;

namespace quarn::widgets {

// The read-only "VLE1" table of a sensor's identity: a Key and a Value column, one row per key with its value
// empty, no selection or focus, exactly as high as its rows.
QTableWidget* IdentityTable(const QStringList& keys, QWidget* parent);

// The value in the row of key; empty when no row has that key.
QString IdentityValue(const QTableWidget& table, const QString& key);
// Sets the value in the row of key; nothing when no row has that key.
void SetIdentityValue(QTableWidget& table, const QString& key, const QString& value);

}  // namespace quarn::widgets
