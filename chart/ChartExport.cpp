#include "ChartExport.h"

#include <qcustomplot.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSvgGenerator>

namespace quarn::chart {

namespace {

struct FormatSpec {
  PictureFormat format;
  const char* extension;
  const char* filter;
};

constexpr FormatSpec kFormats[] = {
    {PictureFormat::Png, "png", "PNG image (*.png)"},
    {PictureFormat::Svg, "svg", "SVG drawing (*.svg)"},
    {PictureFormat::Pdf, "pdf", "PDF document (*.pdf)"},
};

std::optional<PictureFormat> FormatOfExtension(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  for (const FormatSpec& spec : kFormats) {
    if (suffix == spec.extension) return spec.format;
  }
  return std::nullopt;
}

bool ExportPdf(QCustomPlot& plot, const QString& path, QSize millimetres) {
  QPdfWriter writer(path);
  writer.setCreator(QCoreApplication::applicationName());
  writer.setTitle(plot.windowTitle());
  writer.setPageLayout(
      QPageLayout(QPageSize(QSizeF(millimetres), QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                  QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  // The plot laid out in the pixels of its screen, so its text keeps its size relative to the page.
  writer.setResolution(plot.logicalDpiX());
  QCPPainter painter;
  if (!painter.begin(&writer)) return false;
  painter.setMode(QCPPainter::pmVectorized);
  plot.toPainter(&painter, writer.width(), writer.height());
  return painter.end();
}

bool ExportSvg(QCustomPlot& plot, const QString& path, QSize size) {
  QSvgGenerator generator;
  generator.setFileName(path);
  generator.setSize(size);
  generator.setViewBox(QRect(QPoint(0, 0), size));
  // Text at the size the plot laid it out for (on its screen's resolution), or it would stand apart from
  // what it labels: a legend's text on its line sample.
  generator.setResolution(plot.logicalDpiX());
  generator.setTitle(plot.windowTitle());
  QCPPainter painter;
  if (!painter.begin(&generator)) return false;
  plot.toPainter(&painter, size.width(), size.height());
  return painter.end();
}

}  // namespace

QString PictureFilters() {
  QStringList filters;
  for (const FormatSpec& spec : kFormats) filters << spec.filter;
  return filters.join(";;");
}

std::optional<PictureFormat> PictureFormatFor(const QString& path, const QString& selectedFilter) {
  if (const auto format = FormatOfExtension(path)) return format;
  for (const FormatSpec& spec : kFormats) {
    if (selectedFilter == spec.filter) return spec.format;
  }
  return std::nullopt;
}

QString WithPictureExtension(const QString& path, PictureFormat format) {
  if (FormatOfExtension(path)) return path;
  for (const FormatSpec& spec : kFormats) {
    if (spec.format == format) return path + "." + spec.extension;
  }
  return path;
}

PictureUnit PictureUnitOf(PictureFormat format) {
  // A PDF page from a label's size to A0's long side.
  if (format == PictureFormat::Pdf) return {" mm", 20, 1200};
  return {" px", 100, 10000};
}

std::optional<QString> PictureSizeProblem(QSize size, PictureFormat format) {
  const PictureUnit unit = PictureUnitOf(format);
  const auto inRange = [&](int side) { return side >= unit.min && side <= unit.max; };
  if (inRange(size.width()) && inRange(size.height())) return std::nullopt;
  return QString("Width and height must each be from %1 to %2%3.").arg(unit.min).arg(unit.max).arg(unit.suffix);
}

QSize SuggestedPictureSize(const QWidget& chart, PictureFormat format) {
  const PictureUnit unit = PictureUnitOf(format);
  QSize size = chart.size();
  if (format == PictureFormat::Pdf) {
    const double mmPerPixel = 25.4 / chart.logicalDpiX();
    size = QSize(qRound(size.width() * mmPerPixel), qRound(size.height() * mmPerPixel));
  }
  return size.expandedTo(QSize(unit.min, unit.min)).boundedTo(QSize(unit.max, unit.max));
}

bool ExportChartPicture(QCustomPlot& plot, const QString& path, PictureFormat format, QSize size, QString& reason) {
  if (const auto problem = PictureSizeProblem(size, format)) {
    reason = *problem;
    return false;
  }
  bool written = false;
  switch (format) {
    case PictureFormat::Png: written = plot.savePng(path, size.width(), size.height(), 1.0); break;
    case PictureFormat::Pdf: written = ExportPdf(plot, path, size); break;
    case PictureFormat::Svg: written = ExportSvg(plot, path, size); break;
  }
  // The writers say only that they failed; the usual cause is the place.
  if (!written) reason = "Cannot write " + QDir::toNativeSeparators(path) + ".";
  return written;
}

QString SuggestedExportPath(const QString& folder, const QString& sourceFile, const QString& fallbackBase,
                            const QString& extension) {
  QString base = sourceFile.isEmpty() ? QString() : QFileInfo(sourceFile).completeBaseName();
  if (base.isEmpty()) base = fallbackBase;
  return QDir(folder).filePath(base + "." + extension);
}

QString WithCsvExtension(const QString& path) { return QFileInfo(path).suffix().isEmpty() ? path + ".csv" : path; }

}  // namespace quarn::chart
