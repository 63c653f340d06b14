#include "report/ReportPdf.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <optional>

#include "acquisition/DataFile.h"
#include "acquisition/RegionalFormat.h"

namespace quarn::report {

namespace {

constexpr int kResolution = 720;              // device units per inch: ten per point
constexpr double kUnit = kResolution / 72.0;  // device units per point
constexpr double kMargin = 42;                // points
constexpr double kBodySize = 8.5;             // points
constexpr double kTableSize = 7.5;
const QColor kSeriesColours[analysis::kSeriesCount] = {QColor(0, 90, 200), QColor(200, 40, 40), QColor(0, 140, 60),
                                                       QColor(150, 80, 170), QColor(200, 120, 0)};

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QString TimeText(double DT) {
  const acquisition::PlainRegionalFormat plain;
  return Text(acquisition::LocalDateTimeText(DT, plain));
}

bool Numeric(const std::string& cell) {
  return !cell.empty() && cell.find_first_not_of("-+0123456789. /") == std::string::npos;
}

// Lays out text, tables and the chart on pages, in points from the top left of the page's printable area.
class Pages {
 public:
  Pages(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter) {
    const QRectF page = writer.pageLayout().paintRectPoints();
    width_ = page.width();
    height_ = page.height();
  }

  double Width() const { return width_; }
  double Left() const { return 0; }

  void NewPage() {
    Footer();
    writer_.newPage();
    ++page_;
    y_ = 0;
  }

  void Footer() {
    QFont font = Font(7, false);
    painter_.setFont(font);
    painter_.setPen(Qt::darkGray);
    painter_.drawText(Rect(0, height_ - 10, width_, 10), Qt::AlignRight | Qt::AlignBottom,
                      QString("Evaluation report, page %1").arg(page_));
    painter_.setPen(Qt::black);
  }

  // Room for height points more on this page, or a new page.
  void Need(double height) {
    if (y_ + height > height_ - 18) NewPage();
  }

  void Heading(const QString& text, double size) {
    const QFont font = Font(size, true);
    const double height = Metrics(font).height() / kUnit;
    Need(height * 2.5 + 30);  // a heading stays with the start of what it heads
    y_ += height * 0.5;
    painter_.setFont(font);
    painter_.drawText(Rect(0, y_, width_, height), Qt::AlignLeft | Qt::AlignVCenter, text);
    y_ += height * 1.2;
  }

  void Paragraph(const QString& text, double size = kBodySize, bool bold = false) {
    const QFont font = Font(size, bold);
    painter_.setFont(font);
    const QRectF box = painter_.boundingRect(Rect(0, 0, width_, 10000), Qt::TextWordWrap, text);
    const double height = box.height() / kUnit;
    Need(height);
    painter_.drawText(Rect(0, y_, width_, height), Qt::TextWordWrap, text);
    y_ += height + 2;
  }

  // Names and values in two columns.
  void Facts(const std::vector<std::pair<std::string, std::string>>& facts) {
    const QFont bold = Font(kBodySize, true);
    const QFont plain = Font(kBodySize, false);
    double nameWidth = 0;
    for (const auto& [name, value] : facts)
      nameWidth = std::max(nameWidth, Metrics(bold).horizontalAdvance(Text(name)) / kUnit);
    nameWidth += 10;
    const double line = Metrics(plain).height() / kUnit * 1.15;
    for (const auto& [name, value] : facts) {
      Need(line);
      painter_.setFont(bold);
      painter_.drawText(Rect(0, y_, nameWidth, line), Qt::AlignLeft | Qt::AlignVCenter, Text(name));
      painter_.setFont(plain);
      painter_.drawText(Rect(nameWidth, y_, width_ - nameWidth, line), Qt::AlignLeft | Qt::AlignVCenter, Text(value));
      y_ += line;
    }
    y_ += 4;
  }

  // Rows under their header (the first row), columns as wide as their widest cell, numbers right-aligned; the
  // type shrinks until the table fits the width; a table that goes on to a new page repeats its header.
  void Table(const std::vector<analysis::Row>& rows) {
    if (rows.empty()) return;
    size_t columns = 0;
    for (const analysis::Row& row : rows) columns = std::max(columns, row.size());
    constexpr double kGap = 8;
    double size = kTableSize;
    std::vector<double> widths;
    for (;; size -= 0.5) {
      widths.assign(columns, 0);
      const QFontMetricsF metrics = Metrics(Font(size, true));
      for (const analysis::Row& row : rows) {
        for (size_t c = 0; c < row.size(); ++c)
          widths[c] = std::max(widths[c], metrics.horizontalAdvance(Text(row[c])) / kUnit);
      }
      double total = kGap * double(columns - 1);
      for (double w : widths) total += w;
      if (total <= width_ || size <= 4.5) break;
    }
    const QFont header = Font(size, true);
    const QFont body = Font(size, false);
    const double line = Metrics(body).height() / kUnit * 1.2;
    const auto drawRow = [&](const analysis::Row& row, bool isHeader) {
      painter_.setFont(isHeader ? header : body);
      double x = 0;
      for (size_t c = 0; c < row.size(); ++c) {
        const Qt::Alignment align =
            (c > 0 && (Numeric(row[c]) || (isHeader && ColumnNumeric(rows, c)))) ? Qt::AlignRight : Qt::AlignLeft;
        painter_.drawText(Rect(x, y_, widths[c], line), align | Qt::AlignVCenter, Text(row[c]));
        x += widths[c] + kGap;
      }
      y_ += line;
      if (isHeader) {
        painter_.setPen(QPen(Qt::black, 0.5 * kUnit));
        painter_.drawLine(Point(0, y_), Point(x - kGap, y_));
      }
    };
    Need(line * 2);
    drawRow(rows.front(), true);
    for (size_t r = 1; r < rows.size(); ++r) {
      if (y_ + line > height_ - 18) {
        NewPage();
        drawRow(rows.front(), true);
      }
      drawRow(rows[r], false);
    }
    y_ += 6;
  }

  void Chart(const analysis::ReportChart& chart) {
    constexpr double kStrip = 42;
    constexpr double kLabels = 52;  // left of the strips: the series' names and value ranges
    const double top = 12;          // marker numbers above the strips
    const double height = top + kStrip * analysis::kSeriesCount + 26;
    Need(height);
    const double x0 = kLabels;
    const double plotWidth = width_ - kLabels;
    const double y0 = y_ + top;
    const double span = chart.toDays > chart.fromDays ? chart.toDays - chart.fromDays : 1;
    const auto xOf = [&](double days) { return x0 + (days - chart.fromDays) / span * plotWidth; };
    const QFont small = Font(6.5, false);
    painter_.setFont(small);
    for (size_t k = 0; k < analysis::kSeriesCount; ++k) {
      const double top = y0 + kStrip * double(k);
      const QRectF strip = Rect(x0, top, plotWidth, kStrip - 4);
      painter_.setPen(QPen(Qt::gray, 0.4 * kUnit));
      painter_.setBrush(Qt::NoBrush);
      painter_.drawRect(strip);
      const auto [low, high] = chart.valueRange[k];
      const double range = high > low ? high - low : 1;
      const auto yOf = [&](double value) { return top + (kStrip - 4) - (value - low) / range * (kStrip - 4); };
      painter_.setPen(Qt::black);
      painter_.drawText(
          Rect(0, top, kLabels - 4, 10), Qt::AlignLeft | Qt::AlignTop,
          QString::fromUtf8(analysis::kSeriesNames[k].data(), qsizetype(analysis::kSeriesNames[k].size())));
      painter_.drawText(Rect(0, top, kLabels - 4, 10), Qt::AlignRight | Qt::AlignTop, QString::number(high, 'f', 0));
      painter_.drawText(Rect(0, top + kStrip - 14, kLabels - 4, 10), Qt::AlignRight | Qt::AlignBottom,
                        QString::number(low, 'f', 0));
      // Columns without a record (a sparse run, a zoom) are bridged; a gap in the records is not.
      QPainterPath path;
      const auto& columns = chart.columns[k];
      const double columnDays = span / double(columns.size());
      std::optional<size_t> previous;
      for (size_t c = 0; c < columns.size(); ++c) {
        if (!columns[c].any) continue;
        const double x = x0 + (double(c) + 0.5) / double(columns.size()) * plotWidth;
        const QPointF top = Point(x, yOf(columns[c].max));
        const bool joined = previous && std::none_of(chart.gaps.begin(), chart.gaps.end(), [&](const auto& gap) {
                              return gap.first >= chart.fromDays + double(*previous) * columnDays &&
                                     gap.second <= chart.fromDays + double(c + 1) * columnDays;
                            });
        if (joined)
          path.lineTo(top);
        else
          path.moveTo(top);
        path.lineTo(Point(x, yOf(columns[c].min)));
        previous = c;
      }
      painter_.setPen(QPen(kSeriesColours[k], 0.6 * kUnit));
      painter_.drawPath(path);
    }
    // The markers: a dashed line through every strip, numbered above; the numbers are listed below.
    const double bottom = y0 + kStrip * analysis::kSeriesCount - 4;
    int number = 0;
    for (const analysis::Marker& marker : chart.markers) {
      ++number;
      const double x = xOf(marker.time);
      painter_.setPen(QPen(Qt::black, 0.5 * kUnit, Qt::DashLine));
      painter_.drawLine(Point(x, y0), Point(x, bottom));
      painter_.setPen(Qt::black);
      painter_.drawText(Rect(x - 10, y0 - top, 20, top), Qt::AlignHCenter | Qt::AlignBottom, QString::number(number));
    }
    // The time axis: the first and last time whole, ticks between with the clock.
    painter_.setPen(Qt::black);
    constexpr int kTicks = 5;
    for (int t = 0; t <= kTicks; ++t) {
      const double days = chart.fromDays + span * t / kTicks;
      const double x = xOf(days);
      painter_.drawLine(Point(x, bottom), Point(x, bottom + 3));
      QString label = TimeText(days);
      if (t > 0 && t < kTicks) label = label.section(' ', 1);
      const Qt::Alignment align = t == 0 ? Qt::AlignLeft : t == kTicks ? Qt::AlignRight : Qt::AlignHCenter;
      const double left = t == 0 ? x : t == kTicks ? x - 100 : x - 50;
      painter_.drawText(Rect(left, bottom + 4, 100, 10), align | Qt::AlignTop, label);
    }
    y_ = bottom + 18;
    number = 0;
    for (const analysis::Marker& marker : chart.markers) {
      Paragraph(QString("%1  %2  %3").arg(++number).arg(Text(marker.timeText), Text(marker.label)), 7);
    }
    y_ += 4;
  }

  void Space(double points) { y_ += points; }

 private:
  QFontMetricsF Metrics(const QFont& font) const { return QFontMetricsF(font, &writer_); }
  static bool ColumnNumeric(const std::vector<analysis::Row>& rows, size_t column) {
    for (size_t r = 1; r < rows.size(); ++r) {
      if (column < rows[r].size() && Numeric(rows[r][column])) return true;
    }
    return false;
  }
  static QFont Font(double size, bool bold) {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    // No ligatures: "file" must extract as four letters, so that the report can be searched.
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
  }
  static QRectF Rect(double x, double y, double w, double h) {
    return QRectF(x * kUnit, y * kUnit, w * kUnit, h * kUnit);
  }
  static QPointF Point(double x, double y) { return QPointF(x * kUnit, y * kUnit); }

  QPdfWriter& writer_;
  QPainter& painter_;
  double width_ = 0;
  double height_ = 0;
  double y_ = 0;
  int page_ = 1;
};

void Section(Pages& pages, const analysis::ReportSection& section) {
  pages.Heading("Evaluation report: " + Text(section.title), 15);
  if (!section.overallVerdict.empty()) pages.Paragraph("Verdict: " + Text(section.overallVerdict), 10, true);
  pages.Facts(section.facts);
  pages.Heading(Text(section.chartTitle), 10);
  pages.Chart(section.chart);
  pages.Heading("Statistics", 10);
  pages.Table(section.statistics);
  pages.Heading("Response times", 10);
  if (section.responses.empty())
    pages.Paragraph("No gas marker in the range.");
  else
    pages.Table(section.responses);
  pages.Heading("Gaps", 10);
  if (section.gaps.empty())
    pages.Paragraph("No gap: the sensor answered throughout.");
  else
    pages.Table(section.gaps);
  pages.Heading("Calibration log", 10);
  pages.Paragraph(Text(section.calibrationNote));
  pages.Table(section.calibration);
  if (!section.verdicts.empty()) {
    pages.Heading("Acceptance limits", 10);
    pages.Table(section.verdicts);
    pages.Paragraph("Verdict: " + Text(section.overallVerdict), kBodySize, true);
  }
}

}  // namespace

QPageSize PageSizeFor(const QLocale& locale) {
  switch (locale.territory()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::CostaRica:
    case QLocale::Guatemala:
    case QLocale::Panama:
    case QLocale::Philippines:
    case QLocale::PuertoRico:
    case QLocale::Venezuela:
    case QLocale::ElSalvador:
    case QLocale::DominicanRepublic: return QPageSize(QPageSize::Letter);
    default: return QPageSize(QPageSize::A4);
  }
}

std::optional<std::string> WritePdf(const QString& path, const std::vector<analysis::ReportSection>& sections,
                                    const QPageSize& pageSize) {
  // Written to a temporary file beside the target and renamed over it once whole.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  {
    QPdfWriter writer(&file);
    writer.setResolution(kResolution);
    writer.setPageSize(pageSize);
    writer.setPageMargins(QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Point);
    writer.setTitle("Evaluation report");
    writer.setCreator("quarn");
    QPainter painter;
    if (!painter.begin(&writer)) {
      file.cancelWriting();
      return "the PDF cannot be started";
    }
    Pages pages(writer, painter);
    for (size_t s = 0; s < sections.size(); ++s) {
      if (s > 0) pages.NewPage();
      Section(pages, sections[s]);
    }
    pages.Footer();
    painter.end();
  }
  if (!file.commit()) return file.errorString().toStdString();
  return std::nullopt;
}

}  // namespace quarn::report
