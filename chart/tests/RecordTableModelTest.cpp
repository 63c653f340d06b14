#include <gtest/gtest.h>

#include <QString>

#include "acquisition/MeasurementStore.h"
#include "chart/RecordTableModel.h"

namespace quarn::chart::testing {
namespace {

// A record whose values tell their record apart: Conc (C2) is n, Temp (T) is 1000 + n.
acquisition::MeasurementRecord Numbered(uint16_t n) {
  acquisition::MeasurementRecord r;
  r.DT = 46000.5 + n / 86400.0;
  r.C2 = n;
  r.T = static_cast<uint16_t>(1000 + n);
  return r;
}

QString Cell(const RecordTableModel& model, int row, int column) { return model.index(row, column).data().toString(); }

// Rows are the store's records as the ticks show them; rows shown in the basic mode keep their advanced
// columns empty, rows shown in the advanced mode fill them.
TEST(RecordTableModel, ShowsTheStoresRecordsInTheModeTheyArrivedIn) {
  acquisition::MeasurementStore store;
  RecordTableModel model;
  model.SetRecords(&store);
  EXPECT_EQ(model.rowCount(), 1);

  for (uint16_t n = 0; n < 5; ++n) store.Append(Numbered(n));
  model.ShowRecords(3);  // a tick that saw three
  EXPECT_EQ(model.RecordRows(), 3);
  EXPECT_EQ(model.rowCount(), 4) << "one empty row at the end";
  model.SetAdvanced(true);
  model.ShowRecords(5);
  ASSERT_EQ(model.RecordRows(), 5);

  struct Case {
    int row, column;
    QString text;
  };
  for (const Case& c : {Case{0, 0, "1"},
                        {0, 2, "0"},
                        {2, 2, "2"},
                        {2, 4, ""},
                        {3, 0, "4"},
                        {3, 2, "3"},
                        {3, 4, "1003"},
                        {4, 4, "1004"},
                        {5, 0, ""},
                        {5, 2, ""}}) {
    EXPECT_EQ(Cell(model, c.row, c.column), c.text) << "row " << c.row << " column " << c.column;
  }
  EXPECT_EQ(Cell(model, 4, 1), model.TimeText(Numbered(4).DT));
}

// A further run: the rows shown so far stay, reading the block the store handed over, and the new run's rows
// number on behind them; Reset leaves one empty row.
TEST(RecordTableModel, KeepsEarlierRunsWhileTheStoreStartsAfresh) {
  acquisition::MeasurementStore store;
  RecordTableModel model;
  model.SetRecords(&store);
  const size_t first = acquisition::MeasurementStore::kChunkRecords + 2;  // across a chunk boundary
  for (size_t n = 0; n < first + 3; ++n) store.Append(Numbered(static_cast<uint16_t>(n)));
  model.ShowRecords(first);  // three records arrived after the last tick

  model.KeepEarlierRun(store.TakeRecords());
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_EQ(model.RecordRows(), static_cast<int>(first)) << "only rows that were shown";
  for (uint16_t n = 0; n < 4; ++n) store.Append(Numbered(static_cast<uint16_t>(50000 + n)));
  model.ShowRecords(4);
  model.KeepEarlierRun(store.TakeRecords());
  store.Append(Numbered(7));
  model.ShowRecords(1);

  const int total = static_cast<int>(first) + 5;
  ASSERT_EQ(model.RecordRows(), total);
  struct Case {
    int row;
    QString number, conc;
  };
  for (const Case& c : {Case{0, "1", "0"},
                        {4096, "4097", "4096"},
                        {int(first) - 1, QString::number(first), "4097"},
                        {int(first), QString::number(first + 1), "50000"},
                        {int(first) + 3, "", "50003"},
                        {total - 1, QString::number(total), "7"}}) {
    if (!c.number.isEmpty()) {
      EXPECT_EQ(Cell(model, c.row, 0), c.number) << "row " << c.row;
    }
    EXPECT_EQ(Cell(model, c.row, 2), c.conc) << "row " << c.row;
  }

  model.Reset();
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.RecordRows(), 0);
}

}  // namespace
}  // namespace quarn::chart::testing
