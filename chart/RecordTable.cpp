#include "RecordTable.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "acquisition/DateTime.h"
#include "chart/RecordTableModel.h"

namespace quarn::chart {

namespace {

// The "Time" column at the reference font; wider where the locale's time text needs it.
constexpr int kTimeColumnWidth = 150;
constexpr int kHeaderHeight = 35;

}  // namespace

// The rows first .. first + count - 1 of the measurement model as rows 0 .. count - 1. Rows and columns come
// and go with insert and remove notices, never a reset, so the header keeps its column widths.
class VisibleRowsModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetSource(const RecordTableModel* source) { source_ = source; }
  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : columns_; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!source_ || !index.isValid()) return {};
    return source_->data(source_->index(first_ + index.row(), index.column()), role);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (!source_ || orientation != Qt::Horizontal) return {};
    return source_->headerData(section, orientation, role);
  }

  // Shows count rows from first on, in columns columns.
  void Show(int first, int count, int columns) {
    if (columns > columns_) {
      beginInsertColumns({}, columns_, columns - 1);
      columns_ = columns;
      endInsertColumns();
    } else if (columns < columns_) {
      beginRemoveColumns({}, columns, columns_ - 1);
      columns_ = columns;
      endRemoveColumns();
    }
    if (count > rows_) {
      beginInsertRows({}, rows_, count - 1);
      rows_ = count;
      endInsertRows();
    } else if (count < rows_) {
      beginRemoveRows({}, count, rows_ - 1);
      rows_ = count;
      endRemoveRows();
    }
    first_ = first;
    if (rows_ > 0 && columns_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
  }

 private:
  const RecordTableModel* source_ = nullptr;
  int first_ = 0;
  int rows_ = 0;
  int columns_ = 0;
};

RecordTable::RecordTable(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  visible_ = new VisibleRowsModel(this);

  view_ = new QTableView(this);
  view_->setFrameStyle(QFrame::NoFrame);
  // Keys and the wheel come to the table, which knows all rows; a click on a row still gives it the focus.
  view_->setFocusPolicy(Qt::NoFocus);
  view_->setAutoScroll(false);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setCornerButtonEnabled(false);
  view_->setModel(visible_);
  view_->verticalHeader()->setVisible(false);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->horizontalHeader()->setFixedHeight(kHeaderHeight);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->viewport()->installEventFilter(this);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { ViewCurrentChanged(current.isValid() ? current.row() : -1); });

  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  scrollBar_->setRange(0, 0);
  connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
    first_ = value;
    SyncRows();
  });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  layout->addWidget(scrollBar_);
  UpdateRowHeight();
}

RecordTable::~RecordTable() = default;

QHeaderView* RecordTable::Header() const { return view_->horizontalHeader(); }

void RecordTable::SetModel(RecordTableModel* model) {
  if (model_) disconnect(model_, nullptr, this, nullptr);
  model_ = model;
  visible_->SetSource(model);
  if (model_) {
    connect(model_, &QAbstractItemModel::rowsInserted, this, &RecordTable::RowCountChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &RecordTable::RowCountChanged);
    connect(model_, &QAbstractItemModel::dataChanged, this, &RecordTable::SyncRows);
    connect(model_, &QAbstractItemModel::modelReset, this, &RecordTable::ModelReset);
  }
  current_ = -1;
  first_ = 0;
  ModelReset();
}

void RecordTable::ModelReset() {
  const int columns = columns_;
  const int rows = rows_;
  RowCountChanged();
  // Back to fewer rows (Clear): nothing selected, the top in view. A mode switch keeps both.
  if (rows_ != rows) {
    SetCurrentRow(-1);
    scrollBar_->setValue(0);
  }
  if (columns_ != columns) LayoutColumns();
}

void RecordTable::RowCountChanged() {
  rows_ = model_ ? model_->rowCount() : 0;
  columns_ = model_ ? model_->columnCount() : 0;
  if (current_ >= rows_) current_ = -1;
  UpdateGeometry();
  SyncRows();
}

void RecordTable::UpdateRowHeight() {
  rowHeight_ = view_->fontMetrics().height() + 6;
  // The minimum first, so that a smaller font's rows are not held at the larger one's height.
  view_->verticalHeader()->setMinimumSectionSize(rowHeight_);
  view_->verticalHeader()->setDefaultSectionSize(rowHeight_);
  UpdateGeometry();
}

void RecordTable::UpdateGeometry() {
  const int height = std::max(0, view_->viewport()->height());
  pageRows_ = std::max(1, height / rowHeight_);
  capacity_ = std::max(1, (height + rowHeight_ - 1) / rowHeight_);
  const QSignalBlocker block(scrollBar_);
  scrollBar_->setRange(0, std::max(0, rows_ - pageRows_));
  scrollBar_->setPageStep(pageRows_);
  scrollBar_->setSingleStep(1);
  first_ = scrollBar_->value();
}

void RecordTable::SyncRows() {
  const int count = std::clamp(rows_ - first_, 0, capacity_);
  visible_->Show(first_, count, columns_);
  const QSignalBlocker block(view_->selectionModel());
  syncing_ = true;
  if (current_ >= first_ && current_ < first_ + count) {
    const QModelIndex index = visible_->index(current_ - first_, 0);
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else {
    view_->selectionModel()->clear();
  }
  syncing_ = false;
  // The selection model's notices were held back: the view repaints what it shows.
  view_->viewport()->update();
}

void RecordTable::ViewCurrentChanged(int visibleRow) {
  if (syncing_ || visibleRow < 0) return;
  SetCurrentRow(first_ + visibleRow);
}

void RecordTable::SetCurrentRow(int row) {
  const int next = row >= 0 && row < rows_ ? row : -1;
  const bool changed = next != current_;
  current_ = next;
  if (current_ >= 0) ScrollTo(current_);
  SyncRows();
  if (changed) emit CurrentRowChanged(current_);
}

void RecordTable::ShowLast() {
  if (model_ && model_->RecordRows() > 0) SetCurrentRow(model_->RecordRows() - 1);
}

void RecordTable::ScrollTo(int row) {
  if (row < first_) {
    scrollBar_->setValue(row);
  } else if (row >= first_ + pageRows_) {
    scrollBar_->setValue(row - pageRows_ + 1);
  }
}

QRect RecordTable::RowRect(int row) const {
  if (row < first_ || row >= first_ + visible_->rowCount()) return {};
  const int top = (row - first_) * rowHeight_;
  // The row ends with its last column.
  const int right = view_->horizontalHeader()->length() - view_->horizontalHeader()->offset();
  return QRect(0, top, std::min(view_->viewport()->width(), right), rowHeight_);
}

void RecordTable::keyPressEvent(QKeyEvent* event) {
  if (rows_ == 0) return QFrame::keyPressEvent(event);
  const int from = current_ >= 0 ? current_ : first_;
  int to;
  switch (event->key()) {
    case Qt::Key_Up: to = from - 1; break;
    case Qt::Key_Down: to = current_ >= 0 ? from + 1 : from; break;
    case Qt::Key_PageUp: to = from - pageRows_; break;
    case Qt::Key_PageDown: to = from + pageRows_; break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = rows_ - 1; break;
    default: return QFrame::keyPressEvent(event);
  }
  SetCurrentRow(std::clamp(to, 0, rows_ - 1));
  event->accept();
}

void RecordTable::wheelEvent(QWheelEvent* event) { QApplication::sendEvent(scrollBar_, event); }

bool RecordTable::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_->viewport()) {
    if (event->type() == QEvent::Wheel) {
      // The view scrolls its columns only: its rows move with the table's own scroll bar.
      const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
      if (std::abs(delta.x()) > std::abs(delta.y())) return false;
      QApplication::sendEvent(scrollBar_, event);
      return true;
    }
    if (event->type() == QEvent::Resize) {
      UpdateGeometry();
      SyncRows();
    }
  }
  return QFrame::eventFilter(watched, event);
}

void RecordTable::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  LayoutColumns();
}

void RecordTable::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateRowHeight();
    SyncRows();
  }
}

int RecordTable::ColumnWidth(int column) const { return view_->columnWidth(column); }

int RecordTable::TimeColumnWidth() const {
  if (!model_) return kTimeColumnWidth;
  // The widest time text of the locale: two-digit days and months, each month for its name, a morning and
  // an evening hour for AM/PM texts, and the widest milliseconds.
  int widest = 0;
  const QFontMetrics metrics(view_->font());
  for (int month = 1; month <= 12; ++month) {
    for (int hour : {10, 22}) {
      const double dt = acquisition::EncodeDayNumber({2026, month, 28, hour, 58, 58, 888});
      widest = std::max(widest, metrics.horizontalAdvance(model_->TimeText(dt)));
    }
  }
  // The cell's text margins, as the view's style draws them, and a little air.
  const int margin = view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
  return std::max(kTimeColumnWidth, widest + 2 * margin + 6);
}

void RecordTable::LayoutColumns() {
  // "Status" is wider than 40 pixels in most fonts: the column holds its header whole.
  const QHeaderView* header = view_->horizontalHeader();
  const int headerMargin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
  const int status = std::max(40, header->fontMetrics().horizontalAdvance("Status") + headerMargin);
  const int fixed[4] = {40, TimeColumnWidth(), 50, status};
  for (int c = 0; c < 4; ++c) view_->setColumnWidth(c, fixed[c]);
  if (columns_ > 4) {
    // The eight columns share 96 % of what the first four leave.
    const int first = fixed[0] + fixed[1] + fixed[2] + fixed[3];
    const int width = static_cast<int>(std::llrint((view_->viewport()->width() - first) * 0.12));
    for (int c = 4; c < columns_; ++c) view_->setColumnWidth(c, width);
  }
}

}  // namespace quarn::chart
