#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

#include "chart/ChartExport.h"

class QWidget;

namespace quarn::chart {

// The file and size choices the windows ask the user for. The program asks with modal dialogs; tests give
// their answers instead.
class FileChooser {
 public:
  struct SaveChoice {
    QString path;
    QString filter;  // the file type filter chosen
  };

  virtual ~FileChooser() = default;
  // Data files to open for review, starting in folder; empty when cancelled.
  virtual QStringList DataFilesToOpen(QWidget* parent, const QString& folder) = 0;
  // A folder whose data files being written are to be followed, starting in folder; empty when cancelled.
  virtual QString FolderToFollow(QWidget* parent, const QString& folder) = 0;
  // An acceptance limits file to judge a bench by, starting in folder; empty when cancelled.
  virtual QString LimitsFileToOpen(QWidget* parent, const QString& folder) = 0;
  // Where to save a copy of the run's data file, starting at suggested; empty when cancelled. An existing file
  // is replaced without asking.
  virtual QString DataFileSavePath(QWidget* parent, const QString& suggested) = 0;
  // Where to save an export; nothing when cancelled. filters as for a file dialog ("A (*.a);;B (*.b)").
  virtual std::optional<SaveChoice> SavePath(QWidget* parent, const QString& caption, const QString& suggested,
                                             const QString& filters) = 0;
  // The size of a chart picture in the format's unit (pixels, or millimetres for PDF), starting from suggested;
  // nothing when cancelled.
  virtual std::optional<QSize> PictureSize(QWidget* parent, QSize suggested, PictureFormat format) = 0;
};

// The choices as modal dialogs.
class DialogFileChooser : public FileChooser {
 public:
  QStringList DataFilesToOpen(QWidget* parent, const QString& folder) override;
  QString FolderToFollow(QWidget* parent, const QString& folder) override;
  QString LimitsFileToOpen(QWidget* parent, const QString& folder) override;
  QString DataFileSavePath(QWidget* parent, const QString& suggested) override;
  std::optional<SaveChoice> SavePath(QWidget* parent, const QString& caption, const QString& suggested,
                                     const QString& filters) override;
  std::optional<QSize> PictureSize(QWidget* parent, QSize suggested, PictureFormat format) override;
};

}  // namespace quarn::chart
