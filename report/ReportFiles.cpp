#include "report/ReportFiles.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "report/ReportPdf.h"

namespace quarn::report {

std::optional<std::string> WriteReportOfFiles(const QString& path, const ReportRequest& request) {
  std::vector<analysis::ReportSection> sections;
  analysis::ReportSettings settings = request.settings;
  settings.programVersion = QUARN_VERSION;
  const bool several = request.files.size() > 1;
  for (const ReportRequest::File& file : request.files) {
    std::ostringstream warnings;
    int status = 0;
    // The window's choice of date order stands for quarn-analyze's --date-order.
    analysis::FileAnalysisOptions options = request.analysis;
    if (file.reading.chosenOrder) options.dateOrder = file.reading.chosenOrder;
    const std::optional<analysis::FileAnalysis> analysis =
        analysis::AnalyzeFile(options, file.path.toStdString(), file.reading, several, warnings, status);
    if (!analysis) {
      // The analysis's one line, without the command line program's name before it.
      std::string reason = warnings.str();
      const std::string prefix = "quarn-analyze: ";
      if (const size_t at = reason.rfind(prefix); at != std::string::npos) reason = reason.substr(at + prefix.size());
      while (!reason.empty() && reason.back() == '\n') reason.pop_back();
      return reason;
    }
    sections.push_back(analysis::ReportSectionOf(*analysis, settings));
  }
  return WritePdf(path, sections, PageSizeFor(QLocale()));
}

OffscreenReports::OffscreenReports(int& argc, char** argv) : argc_(argc), argv_(argv) {}

OffscreenReports::~OffscreenReports() = default;

namespace {

// quarn-analyze's errors are one line each: Qt's notes on the platform (a missing runtime folder, fonts) are no
// part of them. What Qt finds critical is still said, in the program's manner.
void CommandLineMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "quarn-analyze: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

analysis::ReportWriter OffscreenReports::Writer() {
  return [this](const std::string& path, const std::vector<analysis::ReportSection>& sections) {
    // Only a report needs Qt; a machine without a display draws it offscreen.
    if (!QGuiApplication::instance()) {
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
      qInstallMessageHandler(CommandLineMessages);
      application_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    return WritePdf(QString::fromLocal8Bit(path.c_str()), sections, PageSizeFor(QLocale::system()));
  };
}

}  // namespace quarn::report
