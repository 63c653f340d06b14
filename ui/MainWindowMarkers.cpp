// The main window's evaluation: the statistics panel beside the chart and the gas markers of a run.
#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include "chart/MeasurementChart.h"
#include "chart/StatisticsPanel.h"
#include "review/MarkersAndStatistics.h"
#include "ui/MainWindow.h"
#include "ui/MarkerDialog.h"
#include "ui/RunControl.h"

namespace quarn::ui {

void MainWindow::BuildEvaluation() {
  // The Mark button stands above the figures it feeds, apart from the toolbar's fixed set of buttons.
  auto* markRow = new QWidget(this);
  auto* layout = new QHBoxLayout(markRow);
  layout->setContentsMargins(4, 4, 4, 0);
  markButton_ = new QPushButton("Mark", markRow);
  markButton_->setObjectName("bMark");
  markButton_->setToolTip("A gas marker at this moment; its label is asked next (Ctrl+M)");
  markButton_->setIcon(QIcon::fromTheme("bookmark-new", style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
  markButton_->setEnabled(false);
  layout->addWidget(markButton_);
  auto* hint = new QLabel("Ctrl+M during a run", markRow);
  hint->setToolTip("Right-click a marker's line or its row to rename, move or delete it; Ctrl+Z undoes");
  layout->addWidget(hint);
  layout->addStretch(1);
  connect(markButton_, &QPushButton::clicked, this, &MainWindow::MarkClicked);
  auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
  connect(shortcut, &QShortcut::activated, this, &MainWindow::MarkClicked);
  markerLabels_ = DefaultMarkerLabels();
  statistics_ = review::AddStatisticsDock(*chartArea_, *chart_, markRow);
  if (auto* dock = chartArea_->findChild<QDockWidget*>("StatisticsDock")) {
    connect(dock, &QDockWidget::topLevelChanged, this, [this] { LayoutTable(); });
  }
  connect(chart_, &chart::MeasurementChart::markerMenuRequested, this,
          [this](int index, QPoint where) { ShowMarkerMenu(static_cast<size_t>(index), where); });
  connect(statistics_, &chart::StatisticsPanel::markerMenuRequested, this,
          [this](const analysis::Marker& marker, QPoint where) {
            const auto& markers = run_->Markers();
            for (size_t i = 0; i < markers.size(); ++i) {
              if (markers[i].time == marker.time && markers[i].label == marker.label) {
                ShowMarkerMenu(i, where);
                return;
              }
            }
          });
}

void MainWindow::AddMarkerUndo(QMenu* action) {
  undoMarker_ = action->addAction("Undo marker change", this, &MainWindow::UndoMarkerClicked);
  undoMarker_->setObjectName("menuUndoMarker");
  undoMarker_->setShortcut(QKeySequence::Undo);
  undoMarker_->setToolTip("Undoes the last marker set, renamed, moved or deleted");
  undoMarker_->setEnabled(false);
}

void MainWindow::MarkClicked() {
  if (!run_->Running() || findChild<MarkerDialog*>()) return;
  // The marker belongs to this moment, however long the label takes to type.
  const double time = run_->Now();
  // Window-modal but not blocking: the run's display goes on while the label is typed.
  auto* dialog = new MarkerDialog(markerLabels_, QString::fromStdString(run_->TimeText(time)), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog, time] {
    const QString label = dialog->Label();
    markerLabels_ = WithRecentLabel(markerLabels_, label);
    if (run_->AddMarker(label.toStdString(), time)) ShowMarkers();
  });
  dialog->open();
}

void MainWindow::ShowMarkerMenu(size_t index, QPoint where) {
  if (index >= run_->Markers().size() || findChild<MarkerDialog*>() || findChild<MarkerTimeDialog*>()) return;
  const analysis::Marker marker = run_->Markers()[index];
  QMenu menu(this);
  menu.setObjectName("markerMenu");
  menu.setToolTipsVisible(true);
  menu.addSection(QString::fromStdString(marker.label));
  QAction* rename = menu.addAction("Rename\u2026");
  rename->setObjectName("markerRename");
  QAction* move = menu.addAction("Move\u2026");
  move->setObjectName("markerMove");
  QAction* remove = menu.addAction("Delete");
  remove->setObjectName("markerDelete");
  QAction* chosen = menu.exec(where);
  // The list may have changed while the menu was open (a marker set meanwhile): find the marker again.
  const auto& markers = run_->Markers();
  size_t now = markers.size();
  for (size_t i = 0; i < markers.size(); ++i) {
    if (markers[i].time == marker.time && markers[i].label == marker.label) now = i;
  }
  if (!chosen || now == markers.size()) return;
  if (chosen == remove) {
    run_->RemoveMarker(now);
    ShowMarkers();
  } else if (chosen == rename) {
    auto* dialog = new MarkerDialog(markerLabels_, QString::fromStdString(marker.timeText), this,
                                    QString::fromStdString(marker.label));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, now] {
      const QString label = dialog->Label();
      markerLabels_ = WithRecentLabel(markerLabels_, label);
      if (run_->RenameMarker(now, label.toStdString())) ShowMarkers();
    });
    dialog->open();
  } else if (chosen == move) {
    auto* dialog = new MarkerTimeDialog(marker.time, QString::fromStdString(marker.label), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, now] {
      if (run_->MoveMarker(now, dialog->Time())) ShowMarkers();
    });
    dialog->open();
  }
}

void MainWindow::UndoMarkerClicked() {
  if (run_->UndoMarkerChange()) ShowMarkers();
}

void MainWindow::ShowMarkers() {
  review::ShowMarkers(run_->Markers(), *chart_, *statistics_);
  chart_->Refresh();
  if (undoMarker_) undoMarker_->setEnabled(run_->CanUndoMarkerChange());
}

}  // namespace quarn::ui
