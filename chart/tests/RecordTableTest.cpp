#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "acquisition/MeasurementStore.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"

namespace quarn::chart::testing {
namespace {

constexpr int kWaitMs = 5000;

// Conc (C2) is n, so each shown row names its record.
acquisition::MeasurementRecord Numbered(size_t n) {
  acquisition::MeasurementRecord r;
  r.DT = 46000.5 + n / 86400.0;
  r.C2 = static_cast<uint16_t>(n);
  r.T = static_cast<uint16_t>(1000 + n % 1000);
  return r;
}

// A table 166 pixels high, as in the main window, over a model of the first `records` records.
class RecordTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.SetRecords(&store_);
    table_.SetModel(&model_);
    table_.setFixedSize(900, 166);
    table_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table_));
  }
  void Show(size_t records) {
    while (store_.Count() < records) store_.Append(Numbered(store_.Count()));
    model_.ShowRecords(records);
  }
  // What the view draws in row `visible` (0 is the top row in view) and column 0: the row's number.
  QString ShownNumber(int visible) const { return table_.View()->model()->index(visible, 0).data().toString(); }
  // The first row in view shows the record the scroll bar stands at, and so does every row after it.
  void ExpectRowsFollowTheScrollBar() const {
    const int first = table_.FirstVisibleRow();
    EXPECT_EQ(table_.ScrollBar()->value(), first);
    const int shown = table_.View()->model()->rowCount();
    EXPECT_GE(shown, table_.PageRows());
    for (int v = 0; v < shown && first + v < model_.RecordRows(); ++v) {
      EXPECT_EQ(ShownNumber(v), QString::number(first + v + 1)) << v;
      EXPECT_EQ(table_.View()->model()->index(v, 2).data().toString(), QString::number(first + v)) << "Conc";
    }
  }
  void Click(int row) {
    const QRect rect = table_.RowRect(row);
    ASSERT_FALSE(rect.isEmpty()) << "row " << row << " is not in view";
    QTest::mouseClick(table_.View()->viewport(), Qt::LeftButton, {}, rect.center());
  }
  void Wheel(int steps, Qt::Orientation orientation = Qt::Vertical) {
    const QPoint at = table_.RowRect(table_.FirstVisibleRow()).center();
    const QPoint delta = orientation == Qt::Vertical ? QPoint(0, -120 * steps) : QPoint(-120 * steps, 0);
    QWheelEvent event(at, table_.View()->viewport()->mapToGlobal(at), {}, delta, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(table_.View()->viewport(), &event);
  }

  acquisition::MeasurementStore store_;
  RecordTableModel model_;
  RecordTable table_;
};

TEST_F(RecordTableTest, ScrollRangeFollowsTheRowCount) {
  EXPECT_EQ(table_.RowCount(), 1) << "the empty row";
  EXPECT_EQ(table_.ScrollBar()->maximum(), 0);
  const int page = table_.PageRows();
  EXPECT_GE(page, 4);
  EXPECT_EQ(table_.ScrollBar()->pageStep(), page);

  Show(3);
  EXPECT_EQ(table_.RowCount(), 4);
  EXPECT_EQ(table_.ScrollBar()->maximum(), std::max(0, 4 - page));
  Show(100000);
  EXPECT_EQ(table_.RowCount(), 100001);
  EXPECT_EQ(table_.ScrollBar()->maximum(), 100001 - page);
  EXPECT_LE(table_.View()->model()->rowCount(), page + 1) << "the view holds one screenful";
  ExpectRowsFollowTheScrollBar();

  table_.SetCurrentRow(5000);
  model_.Reset();
  EXPECT_EQ(table_.RowCount(), 1);
  EXPECT_EQ(table_.ScrollBar()->maximum(), 0);
  EXPECT_EQ(table_.CurrentRow(), -1) << "Clear leaves nothing selected";
  EXPECT_EQ(table_.FirstVisibleRow(), 0);
}

TEST_F(RecordTableTest, ClickSelectsTheRowUnderTheMouse) {
  Show(500);
  Click(2);
  EXPECT_EQ(table_.CurrentRow(), 2);
  EXPECT_TRUE(table_.hasFocus()) << "a click gives the table the keys";
  EXPECT_TRUE(table_.View()->selectionModel()->isRowSelected(2, {}));

  Wheel(10);
  const int first = table_.FirstVisibleRow();
  ASSERT_GT(first, 2);
  EXPECT_FALSE(table_.View()->selectionModel()->hasSelection()) << "the selected row is out of view";
  Click(first + 1);
  EXPECT_EQ(table_.CurrentRow(), first + 1);
  EXPECT_EQ(table_.FirstVisibleRow(), first) << "a click on a row in view does not scroll";
  EXPECT_TRUE(table_.View()->selectionModel()->isRowSelected(1, {}));
  EXPECT_EQ(ShownNumber(1), QString::number(first + 2));
}

TEST_F(RecordTableTest, WheelScrollsTheRowsWithoutMovingTheSelection) {
  Show(1000);
  Click(0);
  const int lines = QApplication::wheelScrollLines();
  Wheel(1);
  EXPECT_EQ(table_.FirstVisibleRow(), lines);
  ExpectRowsFollowTheScrollBar();
  Wheel(-1);
  EXPECT_EQ(table_.FirstVisibleRow(), 0);
  Wheel(1, Qt::Horizontal);
  EXPECT_EQ(table_.FirstVisibleRow(), 0) << "a sideways wheel leaves the rows";
  for (int n = 0; n < 1000 && table_.FirstVisibleRow() < table_.ScrollBar()->maximum(); ++n) Wheel(1);
  EXPECT_EQ(table_.FirstVisibleRow(), table_.ScrollBar()->maximum());
  EXPECT_EQ(ShownNumber(table_.PageRows() - 1), "") << "the empty last row is the last one in view";
  EXPECT_EQ(table_.CurrentRow(), 0);
}

struct KeyCase {
  const char* name;
  int startRow;
  Qt::Key key;
  int row;  // the current row afterwards is row + pages * the rows of a page
  int pages;
};
constexpr int kRecords = 1000;
constexpr int kLastRow = kRecords;  // the empty row

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class RecordTableKeys : public RecordTableTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(RecordTableKeys, KeyMovesTheSelectionAndKeepsItInView) {
  const KeyCase& c = GetParam();
  Show(kRecords);
  Click(0);
  table_.SetCurrentRow(c.startRow);
  ASSERT_EQ(table_.CurrentRow(), c.startRow);
  QTest::keyClick(&table_, c.key);
  const int expected = c.row + c.pages * table_.PageRows();
  EXPECT_EQ(table_.CurrentRow(), expected);
  EXPECT_GE(expected, table_.FirstVisibleRow());
  EXPECT_LT(expected, table_.FirstVisibleRow() + table_.PageRows()) << "in view whole";
  ExpectRowsFollowTheScrollBar();
  EXPECT_TRUE(table_.View()->selectionModel()->isRowSelected(expected - table_.FirstVisibleRow(), {}));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RecordTableKeys,
    ::testing::Values(KeyCase{"Down", 10, Qt::Key_Down, 11, 0}, KeyCase{"UpAtTop", 0, Qt::Key_Up, 0, 0},
                      KeyCase{"Up", 600, Qt::Key_Up, 599, 0}, KeyCase{"PageDown", 10, Qt::Key_PageDown, 10, 1},
                      KeyCase{"PageUp", 500, Qt::Key_PageUp, 500, -1},
                      KeyCase{"PageDownAtEnd", kLastRow - 1, Qt::Key_PageDown, kLastRow, 0},
                      KeyCase{"End", 3, Qt::Key_End, kLastRow, 0}, KeyCase{"Home", 700, Qt::Key_Home, 0, 0}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(RecordTableTest, ShowLastKeepsTheNewestRecordSelectedAndInView) {
  for (size_t records : {1, 2, 3, 17, 18, 40, 5000, 5015}) {
    Show(records);
    table_.ShowLast();
    const int last = static_cast<int>(records) - 1;
    EXPECT_EQ(table_.CurrentRow(), last);
    EXPECT_GE(last, table_.FirstVisibleRow());
    EXPECT_LT(last, table_.FirstVisibleRow() + table_.PageRows()) << records;
    EXPECT_EQ(ShownNumber(last - table_.FirstVisibleRow()), QString::number(records));
  }
  // The user scrolls up; without a further ShowLast new rows leave the view where it is.
  Wheel(-5);
  const int first = table_.FirstVisibleRow();
  Show(6000);
  EXPECT_EQ(table_.FirstVisibleRow(), first);
  EXPECT_EQ(table_.CurrentRow(), 5014);
  ExpectRowsFollowTheScrollBar();
}

TEST_F(RecordTableTest, BasicAndAdvancedColumns) {
  Show(50);
  table_.ShowLast();
  QAbstractItemModel* shown = table_.View()->model();
  EXPECT_EQ(shown->columnCount(), 4);
  model_.SetAdvanced(true);
  Show(60);
  ASSERT_EQ(shown->columnCount(), 12);
  EXPECT_EQ(table_.RowCount(), 61) << "a mode switch keeps the rows";
  QStringList captions;
  for (int c = 0; c < 12; ++c) captions << shown->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(captions.join(' '), "N Time Conc Status Temp St Um Ur S Stz Stzkt Conc1");
  EXPECT_EQ(table_.Header()->height(), 35);

  const int first4 = table_.ColumnWidth(0) + table_.ColumnWidth(1) + table_.ColumnWidth(2) + table_.ColumnWidth(3);
  const int expected = static_cast<int>(std::llrint((table_.View()->viewport()->width() - first4) * 0.12));
  for (int c = 4; c < 12; ++c) EXPECT_EQ(table_.ColumnWidth(c), expected) << c;
  EXPECT_EQ(table_.ColumnWidth(0), 40);
  EXPECT_GE(table_.ColumnWidth(1), 150);

  table_.ShowLast();
  const int last = table_.CurrentRow() - table_.FirstVisibleRow();
  EXPECT_EQ(shown->index(last, 4).data().toString(), "1059") << "rows shown in the advanced mode fill Temp";
  model_.SetAdvanced(false);
  EXPECT_EQ(shown->columnCount(), 4);
  EXPECT_EQ(table_.CurrentRow(), 59) << "a mode switch keeps the selection";
}

// Rows follow the font: a larger one shows fewer, taller rows, and a click still lands on the row drawn there.
TEST_F(RecordTableTest, RowsFollowTheFont) {
  Show(300);
  const int page = table_.PageRows();
  for (double scale : {1.8, 0.8}) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * scale);
    table_.setFont(font);
    if (scale > 1) {
      EXPECT_LT(table_.PageRows(), page);
    } else {
      EXPECT_GE(table_.PageRows(), page);
    }
    EXPECT_EQ(table_.ScrollBar()->maximum(), 301 - table_.PageRows());
    const int last = table_.PageRows() - 1;
    EXPECT_EQ(table_.View()->rowAt(table_.RowRect(last).center().y()), last) << scale;
    Click(last);
    EXPECT_EQ(table_.CurrentRow(), last) << scale;
    EXPECT_EQ(table_.FirstVisibleRow(), 0) << "the row was in view whole";
  }
}

// A repeated run's rows follow the earlier run's, which the table reads from the block the store handed over.
TEST_F(RecordTableTest, EarlierRunStaysAndTheNextFollows) {
  Show(30);
  model_.KeepEarlierRun(store_.TakeRecords());
  EXPECT_EQ(table_.RowCount(), 31);
  for (size_t n = 0; n < 5; ++n) store_.Append(Numbered(700 + n));
  model_.ShowRecords(5);
  table_.ShowLast();
  EXPECT_EQ(table_.RowCount(), 36);
  EXPECT_EQ(table_.CurrentRow(), 34);
  const int visible = 34 - table_.FirstVisibleRow();
  EXPECT_EQ(ShownNumber(visible), "35");
  EXPECT_EQ(table_.View()->model()->index(visible, 2).data().toString(), "704");
  Click(table_.FirstVisibleRow());
  ASSERT_TRUE(QTest::qWaitFor([&] { return table_.CurrentRow() == table_.FirstVisibleRow(); }, kWaitMs));
  QTest::keyClick(&table_, Qt::Key_Home);
  EXPECT_EQ(ShownNumber(0), "1");
  EXPECT_EQ(table_.View()->model()->index(0, 2).data().toString(), "0");
}

}  // namespace
}  // namespace quarn::chart::testing
