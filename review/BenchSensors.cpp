#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include "chart/MeasurementChart.h"
#include "chart/StatisticsPanel.h"
#include "review/BenchWindow.h"

// What the bench window says about each sensor (its source, state and identity), and a followed broker's
// messages taken into its sensors.
namespace quarn::review {

QString BenchWindow::SensorSource(size_t sensor) const {
  if (!subscriber_) return QFileInfo(QString::fromStdString(files_[sensor]->Path())).fileName();
  const auto& identity = brokerSensors_.Sensor(sensor).Identity();
  if (!identity) return QString();
  QString source = QString::fromStdString(identity->port);
  if (!identity->host.empty()) source += (source.isEmpty() ? "" : " on ") + QString::fromStdString(identity->host);
  if (!identity->firmware.empty())
    source += (source.isEmpty() ? "firmware " : ", firmware ") + QString::fromStdString(identity->firmware);
  return source;
}

QString BenchWindow::SensorState(size_t sensor) const {
  if (!subscriber_) return sensor < idle_.size() && idle_[sensor] ? "idle" : QString();
  const std::string& status = brokerSensors_.Sensor(sensor).Status();
  return status == "stopped" || status == "offline" ? QString::fromStdString(status) : QString();
}

QString BenchWindow::SensorToolTip(size_t sensor) const {
  if (!subscriber_) return QDir::toNativeSeparators(QString::fromStdString(files_[sensor]->Path()));
  const publish::BrokerSensor& followed = brokerSensors_.Sensor(sensor);
  QStringList lines;
  if (const auto& identity = followed.Identity()) {
    auto add = [&lines](const char* label, const std::string& value) {
      if (!value.empty()) lines << QString(label) + QString::fromStdString(value);
    };
    add("Firmware: ", identity->firmware);
    add("Type code: ", identity->type);
    add("Range code: ", identity->range);
    add("Port: ", identity->port);
    add("Recorded on: ", identity->host);
    add("Data file: ", identity->dataFile);
    if (!identity->interval.empty()) lines << "Interval: " + QString::fromStdString(identity->interval) + " s";
  } else {
    lines << "No identity published yet";
  }
  if (!followed.Status().empty()) lines << "Recorder: " + QString::fromStdString(followed.Status());
  return lines.join("\n");
}

QString BenchWindow::BrokerState() const {
  return subscriber_ ? QString::fromStdString(subscriber_->Now().text) : QString();
}

void BenchWindow::TakeFromBroker() {
  const publish::Subscriber::State state = subscriber_->Now();
  if (state.changes != brokerStateSeen_) {
    brokerStateSeen_ = state.changes;
    brokerLabel_->setText(QString::fromStdString(state.text));
    AddNote(QString::fromStdString(state.text));
  }
  publish::Arrivals arrivals = subscriber_->Take();
  if (arrivals.unreadable > 0)
    AddNote(QString("%1 messages under the prefix were no record, identity or status.").arg(arrivals.unreadable));
  const publish::BrokerSensors::Changes changes = brokerSensors_.Take(std::move(arrivals));
  for (size_t index : changes.joined)
    AddNote(QString::fromStdString(brokerSensors_.Sensor(index).Serial()) + " joined.");
  if (!changes.joined.empty()) {
    SetSensors();
  } else {
    // Records that came late were merged in: the sensor is drawn again, as a file read again is.
    for (size_t index : changes.rebuilt) {
      chart_->ClearSensorPoints(static_cast<int>(index));
      statistics_->ResetSensor(static_cast<int>(index));
      if (static_cast<int>(index) == tableSensor_) ShowSensorInTable(tableSensor_);
    }
  }
  for (size_t index : changes.changed) {
    const QString name = SensorName(index);
    const QString state = SensorState(index);
    const QString text = state.isEmpty() ? name : name + " (" + state + ")";
    if (text != chart_->SensorLegendText(static_cast<int>(index)))
      chart_->SetSensorLegendText(static_cast<int>(index), text);
  }
  if (!changes.changed.empty() && tableSensor_ >= 0 && tableSensor_ < static_cast<int>(Sensors())) {
    // The label names the identity, which may have come only now.
    const QString source = SensorSource(static_cast<size_t>(tableSensor_));
    const QString label = "Records of " + SensorName(static_cast<size_t>(tableSensor_)) +
                          (source.isEmpty() ? QString() : " (" + source + ")");
    if (label != tableLabel_->text()) ShowSensorInTable(tableSensor_);
  }
  ShowRecords();
}

}  // namespace quarn::review
