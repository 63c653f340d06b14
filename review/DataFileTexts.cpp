#include "DataFileTexts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"

namespace quarn::review {

datafile::DateOrder DateOrderOfPattern(const QString& pattern) {
  const qsizetype day = pattern.indexOf('d');
  const qsizetype month = pattern.indexOf('M');
  const qsizetype year = pattern.indexOf('y');
  // The first of the three that appears decides; a pattern naming none of them reads as day-first.
  const auto before = [](qsizetype a, qsizetype b) { return a >= 0 && (b < 0 || a < b); };
  if (before(year, day) && before(year, month)) return datafile::DateOrder::YearMonthDay;
  if (before(month, day)) return datafile::DateOrder::MonthDayYear;
  return datafile::DateOrder::DayMonthYear;
}

// As the data files written on this machine order their dates.
datafile::DateOrder LocaleDateOrder() { return datafile::DateOrderOf(acquisition::SystemRegionalFormat()); }

void SetLocaleMonthNames(datafile::ReadOptions& options) {
  const QLocale locale;
  for (int m = 1; m <= 12; ++m) {
    options.shortMonthNames[m - 1] = locale.monthName(m, QLocale::ShortFormat).toStdString();
    options.longMonthNames[m - 1] = locale.monthName(m, QLocale::LongFormat).toStdString();
  }
}

std::optional<QString> DataFileProblem(const QString& path, datafile::DateOrder order) {
  QFile file(path);
  if (QFileInfo(path).isDir()) return "The file cannot be opened: it is a folder.";
  if (!file.open(QIODevice::ReadOnly)) {
    return "The file " + QDir::toNativeSeparators(path) + " cannot be opened: " + file.errorString() + ".";
  }
  QByteArray start = file.read(kProbeBytes);
  // A line cut by the probe's end is no evidence either way.
  if (!file.atEnd()) {
    const qsizetype end = start.lastIndexOf('\n');
    if (end >= 0) start.truncate(end + 1);
  }
  datafile::ReadOptions options;
  options.localeOrder = order;
  SetLocaleMonthNames(options);
  try {
    datafile::ReadDataBytes(std::string_view(start.constData(), static_cast<size_t>(start.size())), options,
                            [](std::span<const acquisition::MeasurementRecord>) {});
  } catch (const datafile::DataFileError& error) {
    return QString::fromStdString(error.what());
  }
  return std::nullopt;
}

QString LocalTimeText(double days) {
  return QString::fromStdString(acquisition::LocalDateTimeText(days, acquisition::SystemRegionalFormat()));
}

QString ReviewTitle(const QString& path, const acquisition::MeasurementStore& records) {
  const QString name = QFileInfo(path).fileName();
  const size_t count = records.Count();
  if (count == 0) return name;
  return name + " (" + LocalTimeText(records.At(0).DT) + " \u2013 " + LocalTimeText(records.At(count - 1).DT) + ")";
}

QString RunLabel(const datafile::Run& run, size_t index) {
  QString label = QString("Run %1").arg(index + 1);
  if (!run.serialNumber.empty()) label += ": SN " + QString::fromStdString(run.serialNumber);
  return label;
}

QString RunDescription(const datafile::Run& run, size_t index, double firstDT) {
  QString text = RunLabel(run, index);
  if (!run.port.empty()) text += ", " + QString::fromStdString(run.port);
  if (!run.firmware.empty()) text += ", firmware " + QString::fromStdString(run.firmware);
  text += QString(", %1 records").arg(run.recordCount);
  if (run.recordCount > 0) text += " from " + LocalTimeText(firstDT);
  return text;
}

}  // namespace quarn::review
