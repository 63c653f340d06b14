#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QDialogButtonBox;

namespace quarn::ui {

// Asks for a gas marker's label: an editable list of the labels used last, the newest first.
class MarkerDialog : public QDialog {
  Q_OBJECT

 public:
  MarkerDialog(const QStringList& recentLabels, QWidget* parent = nullptr);

  QString Label() const;
  QComboBox* LabelBox() const { return labelBox_; }

 private:
  QComboBox* labelBox_;
  QDialogButtonBox* buttons_;
};

// The labels offered before any was given.
QStringList DefaultMarkerLabels();

// recent with label moved (or added) to the front, at most max entries.
QStringList WithRecentLabel(QStringList recent, const QString& label, int max = 12);

}  // namespace quarn::ui
