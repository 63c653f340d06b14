// The main window's evaluation: the statistics panel beside the chart and the gas markers of a run.
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include "ui/MainWindow.h"
#include "ui/MarkerDialog.h"
#include "ui/MarkerDisplay.h"
#include "ui/MeasurementChart.h"
#include "ui/RunControl.h"
#include "ui/StatisticsPanel.h"

namespace quarn::ui {

void MainWindow::BuildEvaluation() {
  // The Mark button stands above the figures it feeds, apart from the toolbar's fixed set of buttons.
  auto* markRow = new QWidget(this);
  auto* layout = new QHBoxLayout(markRow);
  layout->setContentsMargins(4, 4, 4, 0);
  markButton_ = new QPushButton("Mark", markRow);
  markButton_->setObjectName("bMark");
  markButton_->setToolTip("A gas marker at the current time (Ctrl+M)");
  markButton_->setIcon(QIcon::fromTheme("bookmark-new", style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
  markButton_->setEnabled(false);
  layout->addWidget(markButton_);
  layout->addWidget(new QLabel("Ctrl+M during a run", markRow));
  layout->addStretch(1);
  connect(markButton_, &QPushButton::clicked, this, &MainWindow::MarkClicked);
  auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
  connect(shortcut, &QShortcut::activated, this, &MainWindow::MarkClicked);
  markerLabels_ = DefaultMarkerLabels();
  statistics_ = AddStatisticsDock(*this, *chart_, markRow);
}

void MainWindow::MarkClicked() {
  if (!run_->Running() || findChild<MarkerDialog*>()) return;
  // Window-modal but not blocking: the run's display goes on while the label is typed; the marker takes the
  // time the user asked for it.
  auto* dialog = new MarkerDialog(markerLabels_, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    const QString label = dialog->Label();
    markerLabels_ = WithRecentLabel(markerLabels_, label);
    if (run_->AddMarker(label.toStdString())) ShowMarkers();
  });
  dialog->open();
}

void MainWindow::ShowMarkers() {
  ui::ShowMarkers(run_->Markers(), *chart_, *statistics_);
  chart_->Refresh();
}

}  // namespace quarn::ui
