#pragma once

#include <QLocale>
#include <QPageSize>
#include <optional>
#include <string>
#include <vector>

#include "analysis/EvaluationReport.h"

namespace quarn::report {

// Letter where the locale's country uses it (the United States, Canada, Mexico and a few more), A4 elsewhere.
QPageSize PageSizeFor(const QLocale& locale);

// Writes the sections as a PDF at path: one section per sensor, each starting on a new page with its identity
// and its chart (vector lines), then its tables; every text is text, so it can be searched and copied. The
// file is replaced only once it is whole; nothing on success, otherwise why not.
std::optional<std::string> WritePdf(const QString& path, const std::vector<analysis::ReportSection>& sections,
                                    const QPageSize& pageSize);

}  // namespace quarn::report
