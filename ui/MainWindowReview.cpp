#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QUrl>
#include <memory>

#include "chart/ChartExport.h"
#include "chart/ExportActions.h"
#include "chart/MeasurementChart.h"
#include "publish/Subscriber.h"
#include "review/BenchWindow.h"
#include "review/ReviewWindow.h"
#include "ui/FollowDialog.h"
#include "ui/MainWindow.h"
#include "ui/RunControl.h"

// The main window's way to saved runs: opening data files for review (menu, command line, drop) and the
// exports of the live chart and its records.
namespace quarn::ui {

namespace {

constexpr const char* kOpenFolderKey = "OpenFolder";

// The local files among dropped URLs.
QStringList DroppedFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  return files;
}

}  // namespace

void MainWindow::AddReviewActions(QMenu* action) {
  QAction* open = action->addAction("Open data file\u2026", this, &MainWindow::OpenDataFileClicked);
  open->setObjectName("menuOpenDataFile");
  open->setShortcut(QKeySequence::Open);
  QAction* chart = action->addAction("Export chart\u2026", this, &MainWindow::ExportChartClicked);
  chart->setObjectName("menuExportChart");
  QAction* data = action->addAction("Export data\u2026", this, &MainWindow::ExportDataClicked);
  data->setObjectName("menuExportData");
  QAction* follow = action->addAction("Follow\u2026", this, &MainWindow::FollowClicked);
  follow->setObjectName("menuFollow");
  action->addSeparator();
  setAcceptDrops(true);
}

void MainWindow::OpenDataFileClicked() {
  // The folder of the last files opened, remembered per user; the save folder until then or once it is gone.
  const std::unique_ptr<QSettings> settings = settingsFile_.isEmpty()
                                                  ? std::make_unique<QSettings>("ZOV", "WENLO")
                                                  : std::make_unique<QSettings>(settingsFile_, QSettings::IniFormat);
  QString folder = settings->value(kOpenFolderKey).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QString::fromStdString(saveFolder);
  const QStringList paths = files_->DataFilesToOpen(this, folder);
  if (!paths.isEmpty()) {
    settings->setValue(kOpenFolderKey, QFileInfo(paths.front()).absolutePath());
    settings->sync();
  }
  OpenDataFiles(paths);
}

void MainWindow::OpenDataFiles(const QStringList& paths) {
  std::erase_if(reviews_, [](const QPointer<review::ReviewWindow>& review) { return review.isNull(); });
  std::erase_if(benches_, [](const QPointer<review::BenchWindow>& bench) { return bench.isNull(); });
  if (paths.size() > 1) {
    if (review::BenchWindow* bench = review::BenchWindow::OpenFiles(paths, *boxes_, *files_))
      benches_.emplace_back(bench);
    return;
  }
  for (const QString& path : paths) {
    if (review::ReviewWindow* review = review::ReviewWindow::Open(path, *boxes_, *files_))
      reviews_.emplace_back(review);
  }
}

void MainWindow::FollowClicked() {
  // Not blocking: the window goes on recording while the dialog is up.
  auto* dialog = new FollowDialog(this, *files_, QString::fromStdString(saveFolder));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] { Follow(dialog->Target(), dialog->Password()); });
  dialog->open();
}

void MainWindow::Follow(const QString& target, const QString& password) {
  if (!NamesBroker(target)) {
    FollowFolder(target);
    return;
  }
  std::string why;
  const std::optional<publish::SubscriberSettings> settings = publish::FollowSettingsOf(
      target.toStdString(), password.isEmpty() ? std::nullopt : std::optional<std::string>(password.toStdString()), "",
      false, why);
  if (!settings) {
    boxes_->Show(base::BoxKind::Error, base::BoxButtons::Ok, "This broker cannot be followed: " + why + ".");
    return;
  }
  FollowBroker(*settings);
}

void MainWindow::FollowBroker(const publish::SubscriberSettings& broker) {
  std::erase_if(benches_, [](const QPointer<review::BenchWindow>& bench) { return bench.isNull(); });
  benches_.emplace_back(review::BenchWindow::FollowBroker(broker, *boxes_, *files_));
}

void MainWindow::FollowFolder(const QString& folder) {
  std::erase_if(benches_, [](const QPointer<review::BenchWindow>& bench) { return bench.isNull(); });
  if (review::BenchWindow* bench = review::BenchWindow::Follow(folder, *boxes_, *files_)) benches_.emplace_back(bench);
}

QList<review::BenchWindow*> MainWindow::BenchWindows() const {
  QList<review::BenchWindow*> open;
  for (const QPointer<review::BenchWindow>& bench : benches_) {
    if (bench) open << bench.data();
  }
  return open;
}

QList<review::ReviewWindow*> MainWindow::ReviewWindows() const {
  QList<review::ReviewWindow*> open;
  for (const QPointer<review::ReviewWindow>& review : reviews_) {
    if (review) open << review.data();
  }
  return open;
}

void MainWindow::CloseReviewWindows() {
  for (const QPointer<review::ReviewWindow>& review : reviews_) {
    if (review) review->close();
  }
  for (const QPointer<review::BenchWindow>& bench : benches_) {
    if (bench) bench->close();
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  OpenDataFiles(files);
}

void MainWindow::ExportChartClicked() {
  const QString folder = QString::fromStdString(saveFolder);
  const QString source = QString::fromStdString(run_->DataFilePath());
  chart::ExportChartAsked(this, *chart_, *files_, *boxes_, chart::SuggestedExportPath(folder, source, "chart", "png"));
}

void MainWindow::ExportDataClicked() {
  const QString folder = QString::fromStdString(saveFolder);
  const QString source = QString::fromStdString(run_->DataFilePath());
  chart::ExportDataAsked(this, *chart_, run_->Measurements(), *files_, *boxes_,
                         chart::SuggestedExportPath(folder, source, "data", "csv"));
}

}  // namespace quarn::ui
