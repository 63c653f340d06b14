#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "acquisition/SystemRegionalFormat.h"

namespace quarn::chart {

// The data table: one row per shown record, then one empty row. The rows are the records where they already
// are: the current run's in the store, earlier runs' in the blocks they were handed over as. The model keeps
// only counts and the rows where the mode changed, and makes text only when the view asks, so a week-long run
// costs the table next to nothing.
class RecordTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RecordTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // 12 columns in the advanced mode, 4 in the basic one. Rows shown in the basic mode keep their advanced
  // columns empty.
  void SetAdvanced(bool advanced);
  // The current run's records; the store must outlive the model or be replaced before it goes.
  void SetRecords(const acquisition::MeasurementStore* store);
  // Shows the current run's records up to count (no fewer than already shown): they are written into the
  // empty last row and a new empty row follows each.
  void ShowRecords(size_t count);
  // The current run has ended and its records were handed over as a block: the rows shown so far stay and
  // now read the block; the store's next records follow them.
  void KeepEarlierRun(std::shared_ptr<const acquisition::RecordBlock> block);
  // Back to one empty row; earlier runs' blocks are released.
  void Reset();
  int RecordRows() const { return static_cast<int>(earlierRows_ + liveRows_); }
  // The record behind a row < RecordRows().
  acquisition::MeasurementRecord RecordAt(size_t row) const;
  // The "Time" column's text of a record time (days since 1899-12-30).
  QString TimeText(double dt) const;
  // Live records show their milliseconds (three digits); a file under review shows its times as the file
  // holds them.
  void SetMilliseconds(bool shown) { milliseconds_ = shown; }

 private:
  struct EarlierRun {
    std::shared_ptr<const acquisition::RecordBlock> block;
    size_t firstRow;
    size_t rows;
  };
  bool RowAdvanced(size_t row) const;

  const acquisition::MeasurementStore* store_ = nullptr;
  std::vector<EarlierRun> earlier_;  // one per earlier run since the last Reset
  size_t earlierRows_ = 0;
  size_t liveRows_ = 0;  // rows of the store's records
  // (first row, advanced) where the mode rows were shown in changed; the mode of every row from there on.
  std::vector<std::pair<size_t, bool>> modeFrom_;
  bool advanced_ = false;
  bool milliseconds_ = true;
  acquisition::SystemRegionalFormat regional_;
};

}  // namespace quarn::chart
