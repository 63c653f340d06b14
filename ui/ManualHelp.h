#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "base/MessageBoxes.h"

namespace quarn::ui {

// Asks the desktop to show a file; false when nothing could be started (no browser, no xdg-open).
using UrlOpener = std::function<bool(const QUrl&)>;

// The HTML manual of this installation or build tree: <prefix>/share/quarn-eval/manual/index.html beside
// the folder of the running program.
QString InstalledManualFile();

// The box's text when the manual exists but nothing could show it: names the file.
QString NoViewerText(const QString& file);

// "Manual help": help.chm from the program folder when it is there, else the HTML manual in the desktop's
// browser. When neither file exists, says that the help file is not found; when nothing can show it, names the
// file in the box, and the command that would have shown it goes to standard error.
void OpenManualHelp(const QString& programFolder, const QString& manualFile, const UrlOpener& open,
                    base::MessageBoxes& boxes);

}  // namespace quarn::ui
