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

// "Manual help": help.chm from the program folder when it is there, else the HTML manual in the desktop's
// browser. When neither file exists, or nothing can show it, says that the help file is not found; in the
// second case the command that would have shown it goes to standard error first.
void OpenManualHelp(const QString& programFolder, const QString& manualFile, const UrlOpener& open,
                    base::MessageBoxes& boxes);

}  // namespace quarn::ui
