#include "MarkerDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarn::ui {

MarkerDialog::MarkerDialog(const QStringList& recentLabels, QWidget* parent)
    : QDialog(parent), labelBox_(new QComboBox(this)), buttons_(new QDialogButtonBox(this)) {
  setObjectName("MarkerDialog");
  setWindowTitle("Mark");
  labelBox_->setObjectName("markerLabel");
  labelBox_->setEditable(true);
  labelBox_->setInsertPolicy(QComboBox::NoInsert);
  // Without a completer Enter always reaches OK: an inline completion would take the first Enter for itself
  // while an offered label stands selected.
  labelBox_->setCompleter(nullptr);
  labelBox_->addItems(recentLabels);
  labelBox_->setMinimumContentsLength(24);
  // The newest label stands ready, selected, so that typing replaces it and Enter takes it.
  labelBox_->lineEdit()->selectAll();
  buttons_->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->addRow("Label:", labelBox_);
  layout->addLayout(form);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // An empty label is no label: OK only with text.
  auto updateOk = [this] { buttons_->button(QDialogButtonBox::Ok)->setEnabled(!Label().isEmpty()); };
  connect(labelBox_, &QComboBox::editTextChanged, this, updateOk);
  updateOk();
  labelBox_->setFocus();
}

QString MarkerDialog::Label() const { return labelBox_->currentText().simplified(); }

QStringList DefaultMarkerLabels() { return {"gas on 800 ppm", "gas off", "zero air"}; }

QStringList WithRecentLabel(QStringList recent, const QString& label, int max) {
  recent.removeAll(label);
  recent.prepend(label);
  while (recent.size() > max) recent.removeLast();
  return recent;
}

}  // namespace quarn::ui
