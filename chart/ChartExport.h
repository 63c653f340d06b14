#pragma once

#include <QSize>
#include <QString>
#include <optional>

class QCustomPlot;
class QWidget;

namespace quarn::chart {

// Exports of what a chart shows, and the choices around them, kept apart from the windows that offer them.

enum class PictureFormat { Png, Svg, Pdf };

// The file type filters of the picture save dialog, in the order offered; the first is the default.
QString PictureFilters();
// The format a picture path asks for: its extension when it has a known one, otherwise the chosen filter's;
// nothing when neither names one.
std::optional<PictureFormat> PictureFormatFor(const QString& path, const QString& selectedFilter);
// The path with the format's extension appended when it has no known picture extension.
QString WithPictureExtension(const QString& path, PictureFormat format);

// A picture's size is in pixels for PNG and SVG, in millimetres for a PDF page.
struct PictureUnit {
  const char* suffix;  // as a size box shows it after the number, " px" or " mm"
  int min, max;        // the sides the export accepts
};
PictureUnit PictureUnitOf(PictureFormat format);
// Why a size cannot be exported, as a user reads it; nothing when it can.
std::optional<QString> PictureSizeProblem(QSize size, PictureFormat format);
// The size first offered for a picture of a chart: its size on the screen, for a PDF in millimetres at the
// screen's resolution.
QSize SuggestedPictureSize(const QWidget& chart, PictureFormat format);

// Draws the plot as it is shown (its ranges, visible series and legend) into a file of the given size:
// PNG at size pixels, SVG with a size x size view box, PDF on a page of size millimetres, laid out as on a
// screen of the plot's resolution. False with a reason when the file cannot be written.
bool ExportChartPicture(QCustomPlot& plot, const QString& path, PictureFormat format, QSize size, QString& reason);

// A name for an export next to the data it came from: the source file's base name (or "chart" / "data" when
// there is none) with the given extension, in the folder given.
QString SuggestedExportPath(const QString& folder, const QString& sourceFile, const QString& fallbackBase,
                            const QString& extension);
// The path with ".csv" appended when it has no extension.
QString WithCsvExtension(const QString& path);

}  // namespace quarn::chart
