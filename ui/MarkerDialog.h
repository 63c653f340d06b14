#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QDateTimeEdit;
class QDialogButtonBox;
class QLabel;

namespace quarn::ui {

// Names a gas marker whose time is already fixed (shown as timeText): an editable list of the labels used last,
// the newest first, none of them chosen, so that a label is always the user's choice. For a rename, the
// current label stands in the box, selected.
class MarkerDialog : public QDialog {
  Q_OBJECT

 public:
  MarkerDialog(const QStringList& recentLabels, const QString& timeText, QWidget* parent = nullptr,
               const QString& currentLabel = {});

  QString Label() const;
  QComboBox* LabelBox() const { return labelBox_; }
  QLabel* TimeLabel() const { return timeLabel_; }

 private:
  QLabel* timeLabel_;
  QComboBox* labelBox_;
  QDialogButtonBox* buttons_;
};

// Asks for a marker's new time, to the second, starting at its current one.
class MarkerTimeDialog : public QDialog {
  Q_OBJECT

 public:
  // time: days since 1899-12-30, as a record's.
  MarkerTimeDialog(double time, const QString& label, QWidget* parent = nullptr);

  double Time() const;
  QDateTimeEdit* TimeEdit() const { return timeEdit_; }

 private:
  QDateTimeEdit* timeEdit_;
  double old_;
};

// The labels offered before any was given.
QStringList DefaultMarkerLabels();

// recent with label moved (or added) to the front, at most max entries.
QStringList WithRecentLabel(QStringList recent, const QString& label, int max = 12);

}  // namespace quarn::ui
