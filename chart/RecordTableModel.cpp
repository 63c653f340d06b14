#include "RecordTableModel.h"

#include <algorithm>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"

namespace quarn::chart {

namespace {

const char* const kHeaders[12] = {"N",  "Time", "Conc", "Status", "Temp",  "St",
                                  "Um", "Ur",   "S",    "Stz",    "Stzkt", "Conc1"};

// The value each column from 2 on shows.
uint16_t ColumnValue(const acquisition::MeasurementRecord& r, int column) {
  switch (column) {
    case 2: return r.C2;
    case 3: return r.K;
    case 4: return r.T;
    case 5: return r.S;
    case 6: return r.Uo;
    case 7: return r.Ur;
    case 8: return r.par5;
    case 9: return r.par6;
    case 10: return r.par7;
    default: return r.C1;
  }
}

}  // namespace

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int RecordTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RecordRows() + 1; }

int RecordTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (advanced_ ? 12 : 4);
}

acquisition::MeasurementRecord RecordTableModel::RecordAt(size_t row) const {
  if (row >= earlierRows_) return store_->At(row - earlierRows_);
  // Few runs: the first whose rows end after this one.
  const auto run = std::upper_bound(earlier_.begin(), earlier_.end(), row,
                                    [](size_t r, const EarlierRun& e) { return r < e.firstRow + e.rows; });
  return (*run->block)[row - run->firstRow];
}

bool RecordTableModel::RowAdvanced(size_t row) const {
  const auto after = std::upper_bound(modeFrom_.begin(), modeFrom_.end(), row,
                                      [](size_t r, const std::pair<size_t, bool>& m) { return r < m.first; });
  return after != modeFrom_.begin() && std::prev(after)->second;
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= RecordRows()) return {};
  const size_t row = static_cast<size_t>(index.row());
  const int column = index.column();
  if (column == 0) return QString::number(index.row() + 1);
  if (column >= 4 && !RowAdvanced(row)) return {};
  const acquisition::MeasurementRecord record = RecordAt(row);
  if (column == 1) return TimeText(record.DT);
  return QString::number(ColumnValue(record, column));
}

QString RecordTableModel::TimeText(double dt) const {
  if (!milliseconds_) return QString::fromStdString(acquisition::RecordTimeText(dt, regional_));
  return QString::fromStdString(acquisition::RecordTimeTextMs(dt, regional_));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < 12) return QString(kHeaders[section]);
  return {};
}

void RecordTableModel::SetAdvanced(bool advanced) {
  if (advanced == advanced_) return;
  beginResetModel();
  advanced_ = advanced;
  endResetModel();
}

void RecordTableModel::SetRecords(const acquisition::MeasurementStore* store) { store_ = store; }

void RecordTableModel::ShowRecords(size_t count) {
  if (!store_ || count <= liveRows_) return;
  const size_t first = earlierRows_ + liveRows_;
  if (modeFrom_.empty() || modeFrom_.back().second != advanced_) modeFrom_.push_back({first, advanced_});
  beginInsertRows({}, static_cast<int>(first) + 1, static_cast<int>(earlierRows_ + count));
  liveRows_ = count;
  endInsertRows();
  // The formerly empty row now has content.
  emit dataChanged(index(static_cast<int>(first), 0), index(static_cast<int>(first), columnCount() - 1));
}

void RecordTableModel::KeepEarlierRun(std::shared_ptr<const acquisition::RecordBlock> block) {
  const size_t rows = std::min(liveRows_, block ? block->Count() : 0);
  if (rows > 0) earlier_.push_back({std::move(block), earlierRows_, rows});
  if (rows < liveRows_) {
    // Only rows whose records were handed over can stay.
    beginRemoveRows({}, static_cast<int>(earlierRows_ + rows), static_cast<int>(earlierRows_ + liveRows_) - 1);
    liveRows_ = rows;
    endRemoveRows();
  }
  earlierRows_ += rows;
  liveRows_ = 0;
}

void RecordTableModel::Reset() {
  beginResetModel();
  earlier_.clear();
  earlier_.shrink_to_fit();
  modeFrom_.clear();
  earlierRows_ = liveRows_ = 0;
  endResetModel();
}

}  // namespace quarn::chart
