#pragma once

#include <QFrame>
#include <QRect>

class QHeaderView;
class QScrollBar;
class QTableView;

namespace quarn::chart {

class RecordTableModel;
class VisibleRowsModel;

// The data table over a RecordTableModel: a header row, only the rows that fit, and a scroll bar of its
// own whose range is the model's row count. The Qt view inside holds one screenful of rows, so nothing in it
// grows with a run of millions of records. Rows are the model's rows (the empty last row included); the
// current row is one of them, -1 for none.
class RecordTable : public QFrame {
  Q_OBJECT

 public:
  explicit RecordTable(QWidget* parent = nullptr);
  ~RecordTable() override;

  // The rows to show; the model is not owned and must outlive the table or be replaced first.
  void SetModel(RecordTableModel* model);
  RecordTableModel* Model() const { return model_; }
  // Takes the model's row and column counts anew; the model's own signals call it too.
  void RowCountChanged();

  int RowCount() const { return rows_; }
  int CurrentRow() const { return current_; }
  // Selects a row and scrolls it into view; -1 clears the selection.
  void SetCurrentRow(int row);
  // Selects the last record and scrolls it into view (nothing while there is none).
  void ShowLast();
  // Scrolls so that the row is in view whole.
  void ScrollTo(int row);
  int FirstVisibleRow() const { return first_; }
  // Rows that fit whole.
  int PageRows() const { return pageRows_; }
  // Where a row's cells are drawn, in the coordinates of View()->viewport(); empty when it is not in view.
  QRect RowRect(int row) const;

  // Column widths: 40, the time text's width, 50 and the "Status" caption's; with more than four columns the
  // eight others share 96 % of what the first four leave.
  void LayoutColumns();
  int ColumnWidth(int column) const;
  // Width of the "Time" column: 150, or what the locale's widest time text needs in the table's font.
  int TimeColumnWidth() const;

  QScrollBar* ScrollBar() const { return scrollBar_; }
  QHeaderView* Header() const;
  QTableView* View() const { return view_; }

 signals:
  void CurrentRowChanged(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ModelReset();
  void UpdateRowHeight();
  // Page size and scroll range from the viewport's height and the row count.
  void UpdateGeometry();
  // The shown rows and the selection from the first row in view.
  void SyncRows();
  void ViewCurrentChanged(int visibleRow);

  RecordTableModel* model_ = nullptr;
  VisibleRowsModel* visible_ = nullptr;
  QTableView* view_ = nullptr;
  QScrollBar* scrollBar_ = nullptr;
  int rows_ = 0;
  int columns_ = 0;
  int first_ = 0;
  int current_ = -1;
  int rowHeight_ = 1;
  int pageRows_ = 1;      // rows in view whole
  int capacity_ = 1;      // rows in view, the last one perhaps in part
  bool syncing_ = false;  // the view's selection is being set from current_
};

}  // namespace quarn::chart
