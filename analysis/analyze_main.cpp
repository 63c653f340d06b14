#include <clocale>
#include <csignal>
#include <iostream>

#include "analysis/AnalyzeProgram.h"
#ifdef QUARN_WITH_REPORT
#include "report/ReportFiles.h"
#endif

int main(int argc, char** argv) {
  // A reader that went away (| head) shows as a failed write, reported with its status, not as a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  // The data file was written in the user's regional format: read its dates the way this locale writes them.
  std::setlocale(LC_TIME, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  quarn::datafile::ReadOptions locale;
  locale.localeOrder = quarn::analysis::SystemDateOrder();
  quarn::analysis::SetSystemMonthNames(locale);
#ifdef QUARN_WITH_REPORT
  quarn::report::OffscreenReports reports(argc, argv);
  return quarn::analysis::RunAnalyze(args, locale, std::cout, std::cerr, reports.Writer());
#else
  return quarn::analysis::RunAnalyze(args, locale, std::cout, std::cerr);
#endif
}
