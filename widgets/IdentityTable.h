#pragma once

#include <QStringList>

class QTableWidget;
class QWidget;

namespace quarn::widgets {

// The read-only "VLE1" table of a sensor's identity: a Key and a Value column, one row per key with its value
// empty, no selection or focus, exactly as high as its rows.
QTableWidget* IdentityTable(const QStringList& keys, QWidget* parent);

}  // namespace quarn::widgets
