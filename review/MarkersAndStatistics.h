#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "analysis/ResponseTimes.h"
#include "datafile/DateReading.h"

class QMainWindow;
class QWidget;

namespace quarn::chart {
class MeasurementChart;
class StatisticsPanel;
}  // namespace quarn::chart

namespace quarn::review {

// A statistics panel for chart, docked at the window's right side ("StatisticsDock"), with top (if any) above it.
chart::StatisticsPanel* AddStatisticsDock(QMainWindow& window, chart::MeasurementChart& chart, QWidget* top = nullptr);

// Draws markers on the chart and hands them to the panel.
void ShowMarkers(const std::vector<analysis::Marker>& markers, chart::MeasurementChart& chart,
                 chart::StatisticsPanel& panel);

// The markers of the marker file beside dataFile, their times read in the data file's date order and with the
// default locale's month names, as the data file was; a line that does not read is named in problems. The
// records, when given, settle which instant a time in an hour the clock repeats stands for.
std::vector<analysis::Marker> ReadFileMarkers(const std::string& dataFile, datafile::DateOrder order,
                                              QStringList& problems,
                                              const acquisition::MeasurementStore* records = nullptr);

}  // namespace quarn::review
