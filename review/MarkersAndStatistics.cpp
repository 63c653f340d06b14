#include "MarkersAndStatistics.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QVBoxLayout>

#include "analysis/Gaps.h"
#include "analysis/MarkerFile.h"
#include "analysis/TimeText.h"
#include "chart/MeasurementChart.h"
#include "chart/StatisticsPanel.h"
#include "review/DataFileTexts.h"

namespace quarn::review {

chart::StatisticsPanel* AddStatisticsDock(QMainWindow& window, chart::MeasurementChart& chart, QWidget* top) {
  auto* dock = new QDockWidget("Statistics", &window);
  dock->setObjectName("StatisticsDock");
  dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  auto* content = new QWidget(dock);
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(0, 0, 0, 0);
  if (top) layout->addWidget(top);
  auto* panel = new chart::StatisticsPanel(chart, content);
  layout->addWidget(panel, 1);
  dock->setWidget(content);
  window.addDockWidget(Qt::RightDockWidgetArea, dock);
  return panel;
}

void ShowMarkers(const std::vector<analysis::Marker>& markers, chart::MeasurementChart& chart,
                 chart::StatisticsPanel& panel) {
  std::vector<chart::MeasurementChart::MarkerLine> lines;
  for (const analysis::Marker& marker : markers) lines.push_back({marker.time, QString::fromStdString(marker.label)});
  chart.SetMarkers(lines);
  std::vector<chart::MeasurementChart::Gap> gaps;
  for (const analysis::Gap& gap : analysis::GapsOf(markers))
    gaps.push_back({gap.start.time, gap.start.time + gap.seconds / analysis::kSecondsPerDay});
  chart.SetGaps(gaps);
  panel.SetMarkers(markers);
}

std::vector<analysis::Marker> ReadFileMarkers(const std::string& dataFile, datafile::DateOrder order,
                                              QStringList& problems, const acquisition::MeasurementStore* records) {
  std::vector<analysis::Marker> markers;
  const std::string path = analysis::MarkerFilePath(dataFile);
  datafile::ReadOptions locale;
  SetLocaleMonthNames(locale);
  const datafile::MonthNames names = datafile::MonthNamesOf(locale);
  try {
    const analysis::MarkerFileContents contents = analysis::ReadMarkerFile(path);
    for (const std::string& bad : contents.badLines) problems << QString::fromStdString("Markers, " + bad);
    analysis::MarkerInstants instants;
    if (records != nullptr && records->Count() > 0)
      instants = analysis::MarkerInstants(records->At(0).DT, records->At(records->Count() - 1).DT);
    for (const analysis::MarkerEntry& entry : contents.entries) {
      std::optional<double> time = analysis::ParseTimeText(entry.timeText, order, names);
      if (time) time = instants.Of(*time);
      if (!time) {
        problems << QString::fromStdString("Markers, line " + std::to_string(entry.line) + ": time \"" +
                                           entry.timeText + "\" does not read");
        continue;
      }
      markers.push_back({*time, entry.label, entry.timeText});
    }
  } catch (const std::exception& e) {
    problems << QString::fromStdString("The markers cannot be read: " + std::string(e.what()));
  }
  return markers;
}

}  // namespace quarn::review
