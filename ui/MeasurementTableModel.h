#pragma once

#include <QAbstractTableModel>
#include <array>
#include <cstdint>
#include <vector>

#include "ui/QtRegionalFormat.h"

namespace quarn::ui {

// The data table: one row per shown record, then one empty row. Rows are kept compact and their text is
// made only when the view asks, so a week-long run costs tens of megabytes, not gigabytes.
class MeasurementTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Values in record order: T, S, Ur, Uo, par5, par6, par7, C1, C2, K.
  struct Row {
    double dt = 0;
    std::array<uint16_t, 10> values{};
    bool advanced = false;  // written in the advanced mode: columns 4..11 carry values
  };

  explicit MeasurementTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // 12 columns in the advanced mode, 4 in the basic one.
  void SetAdvanced(bool advanced);
  bool Advanced() const { return advanced_; }
  // Writes the rows into the empty last row and adds a new empty row behind each.
  void Append(const std::vector<Row>& rows);
  // Back to one empty row.
  void Reset();
  int RecordRows() const { return static_cast<int>(rows_.size()); }
  // The "Time" column's text of a record time (days since 1899-12-30).
  QString TimeText(double dt) const;

 private:
  std::vector<Row> rows_;
  bool advanced_ = false;
  QtRegionalFormat regional_;
};

}  // namespace quarn::ui
