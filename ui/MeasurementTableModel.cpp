#include "MeasurementTableModel.h"

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"

namespace quarn::ui {

namespace {

const char* const kHeaders[12] = {"N",  "Time", "Conc", "Status", "Temp",  "St",
                                  "Um", "Ur",   "S",    "Stz",    "Stzkt", "Conc1"};
// Which value of Row::values each column from 2 on shows.
enum Value { T, S, Ur, Uo, par5, par6, par7, C1, C2, K };
const int kColumnValue[12] = {-1, -1, C2, K, T, S, Uo, Ur, par5, par6, par7, C1};

}  // namespace

MeasurementTableModel::MeasurementTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int MeasurementTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size()) + 1;
}

int MeasurementTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (advanced_ ? 12 : 4);
}

QVariant MeasurementTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const Row& row = rows_[index.row()];
  const int column = index.column();
  if (column == 0) return QString::number(index.row() + 1);
  if (column == 1) return TimeText(row.dt);
  if (column >= 4 && !row.advanced) return {};
  return QString::number(row.values[kColumnValue[column]]);
}

QString MeasurementTableModel::TimeText(double dt) const {
  // As in the data file, then the milliseconds without leading zeros.
  const int ms = acquisition::DecodeDayNumber(dt).millisecond;
  return QString::fromStdString(acquisition::RecordTimeText(dt, regional_)) + "." + QString::number(ms);
}

QVariant MeasurementTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < 12) return QString(kHeaders[section]);
  return {};
}

void MeasurementTableModel::SetAdvanced(bool advanced) {
  if (advanced == advanced_) return;
  beginResetModel();
  advanced_ = advanced;
  endResetModel();
}

void MeasurementTableModel::Append(const std::vector<Row>& rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size()) + 1;
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  for (Row row : rows) {
    row.advanced = advanced_;
    rows_.push_back(row);
  }
  endInsertRows();
  // The formerly empty row now has content.
  emit dataChanged(index(first - 1, 0), index(first - 1, columnCount() - 1));
}

void MeasurementTableModel::Reset() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

}  // namespace quarn::ui
