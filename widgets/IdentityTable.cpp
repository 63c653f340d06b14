#include "IdentityTable.h"

#include <QHeaderView>
#include <QTableWidget>

namespace quarn::widgets {

QTableWidget* IdentityTable(const QStringList& keys, QWidget* parent) {
  const int rows = static_cast<int>(keys.size());
  auto* table = new QTableWidget(rows, 2, parent);
  table->setObjectName("VLE1");
  table->setHorizontalHeaderLabels({"Key", "Value"});
  table->verticalHeader()->setVisible(false);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setFocusPolicy(Qt::NoFocus);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setColumnWidth(0, 110);
  for (int row = 0; row < rows; ++row) {
    table->setItem(row, 0, new QTableWidgetItem(keys[row]));
    table->setItem(row, 1, new QTableWidgetItem(QString()));
  }
  table->setFixedHeight(table->horizontalHeader()->sizeHint().height() + rows * table->rowHeight(0) + 4);
  return table;
}

QString IdentityValue(const QTableWidget& table, const QString& key) {
  for (int r = 0; r < table.rowCount(); ++r) {
    if (table.item(r, 0)->text() == key) return table.item(r, 1)->text();
  }
  return {};
}

void SetIdentityValue(QTableWidget& table, const QString& key, const QString& value) {
  for (int r = 0; r < table.rowCount(); ++r) {
    if (table.item(r, 0)->text() == key) table.item(r, 1)->setText(value);
  }
}

}  // namespace quarn::widgets
