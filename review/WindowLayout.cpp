#include "WindowLayout.h"

#include <QHBoxLayout>
#include <QMainWindow>
#include <QSplitter>
#include <QVBoxLayout>

#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "review/MarkersAndStatistics.h"

namespace quarn::review {

ChartAndTable BuildChartAndTable(QMainWindow& window,
                                 const std::function<QWidget*(chart::MeasurementChart&)>& leftPanel,
                                 QWidget* tableTop) {
  ChartAndTable parts;
  auto* central = new QWidget(&window);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* split = new QSplitter(Qt::Vertical, central);
  parts.chart = new chart::MeasurementChart(split);
  layout->addWidget(leftPanel(*parts.chart));
  auto* tablePart = new QWidget(split);
  auto* tableLayout = new QVBoxLayout(tablePart);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  if (tableTop != nullptr) tableLayout->addWidget(tableTop);
  parts.tableModel = new chart::RecordTableModel(&window);
  parts.tableModel->SetMilliseconds(false);
  parts.tableModel->SetAdvanced(true);
  parts.table = new chart::RecordTable(tablePart);
  parts.table->setObjectName("SG1");
  parts.table->SetModel(parts.tableModel);
  parts.table->LayoutColumns();
  tableLayout->addWidget(parts.table, 1);
  split->addWidget(parts.chart);
  split->addWidget(tablePart);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  split->setSizes({520, 240});
  layout->addWidget(split, 1);
  window.setCentralWidget(central);
  parts.statistics = AddStatisticsDock(window, *parts.chart);
  return parts;
}

}  // namespace quarn::review
