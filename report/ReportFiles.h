#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/AnalyzeProgram.h"
#include "analysis/EvaluationReport.h"
#include "analysis/FileAnalysis.h"
#include "datafile/DataFileReader.h"

class QGuiApplication;

namespace quarn::report {

// What a window asks a report of: its data files as they are on disk, read the way the window read them,
// through the same analysis as quarn-analyze.
struct ReportRequest {
  struct File {
    QString path;
    datafile::ReadOptions reading;  // the date order (and the one chosen) and month names the window read it with
  };
  std::vector<File> files;
  analysis::FileAnalysisOptions analysis;
  analysis::ReportSettings settings;  // the limits and the chart's span (the version is this build's)
};

// Reads and analyses the files and writes the report to path (GUI thread; blocks while it reads). Nothing on
// success, otherwise a text a box can show.
std::optional<std::string> WriteReportOfFiles(const QString& path, const ReportRequest& request);

// quarn-analyze's --report: starts the offscreen platform on the first report (QT_QPA_PLATFORM=offscreen unless
// set), so that the rest of the program never needs a display, and writes the page size of the system's locale.
// The platform ends with this object; it must outlive the writer.
class OffscreenReports {
 public:
  OffscreenReports(int& argc, char** argv);
  ~OffscreenReports();
  analysis::ReportWriter Writer();

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<QGuiApplication> application_;
};

}  // namespace quarn::report
