#include "ui/ManualHelp.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "base/Folders.h"

namespace quarn::ui {

QString InstalledManualFile() {
  const std::filesystem::path manual = base::SharedDataFolder(base::ProgramFolder()) / "manual" / "index.html";
  return QString::fromStdString(manual.string());
}

QString NoViewerText(const QString& file) {
  return QString(
             "The manual is here:\n%1\nbut no program could be started to show it. Open that file in a web browser.")
      .arg(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()));
}

void OpenManualHelp(const QString& programFolder, const QString& manualFile, const UrlOpener& open,
                    base::MessageBoxes& boxes) {
  const QString chm = QDir(programFolder).filePath("help.chm");
  const QString file = QFileInfo::exists(chm) ? chm : manualFile;
  if (!file.isEmpty() && QFileInfo::exists(file)) {
    const QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    if (open(url)) return;
    // A desktop without a browser (or without xdg-open): say what would have shown the manual.
    std::fprintf(stderr,
                 "quarn-eval: no browser could be started for the manual; the command would be: xdg-open '%s'\n",
                 url.toString(QUrl::FullyEncoded).toUtf8().constData());
    boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, NoViewerText(file).toStdString());
    return;
  }
  boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "The Help file is not found !");
}

}  // namespace quarn::ui
