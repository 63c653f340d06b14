#include "MarkerDialog.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "acquisition/DateTime.h"
#include "chart/LocaleText.h"

namespace quarn::ui {

namespace {

// The editor shows the local wall clock of a record time.
QDateTime DateTimeOf(double days) {
  const acquisition::LocalDateTime when = acquisition::LocalFromUtc(days);
  return QDateTime(QDate(when.year, when.month, when.day), QTime(when.hour, when.minute, when.second));
}

// A time in an hour the clock repeats: the instant nearer the marker's old one.
double DaysOf(const QDateTime& when, double old) {
  const QDate date = when.date();
  const QTime time = when.time();
  const acquisition::UtcInstants instants = acquisition::UtcFromLocal(acquisition::EncodeDayNumber(
      {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), 0}));
  if (instants.second && std::abs(*instants.second - old) < std::abs(instants.first - old)) return *instants.second;
  return instants.first;
}

// Steps the seconds, minutes and hours of the whole time, so that a step past :59 carries into the next minute
// (or hour, or day) instead of stopping at the section's end.
class CarryingDateTimeEdit : public QDateTimeEdit {
 public:
  using QDateTimeEdit::QDateTimeEdit;

  void stepBy(int steps) override {
    switch (currentSection()) {
      case SecondSection: setDateTime(dateTime().addSecs(steps)); break;
      case MinuteSection: setDateTime(dateTime().addSecs(60LL * steps)); break;
      case HourSection: setDateTime(dateTime().addSecs(3600LL * steps)); break;
      default: QDateTimeEdit::stepBy(steps);
    }
  }

 protected:
  StepEnabled stepEnabled() const override {
    switch (currentSection()) {
      case SecondSection:
      case MinuteSection:
      case HourSection: return StepUpEnabled | StepDownEnabled;
      default: return QDateTimeEdit::stepEnabled();
    }
  }
};

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace

MarkerDialog::MarkerDialog(const QStringList& recentLabels, const QString& timeText, QWidget* parent,
                           const QString& currentLabel)
    : QDialog(parent),
      timeLabel_(new QLabel(timeText, this)),
      labelBox_(new QComboBox(this)),
      buttons_(OkCancel(this)) {
  setObjectName("MarkerDialog");
  setWindowTitle(currentLabel.isEmpty() ? "Mark" : "Rename marker");
  timeLabel_->setObjectName("markerTime");
  timeLabel_->setToolTip("The marker's time: when Mark or Ctrl+M was pressed");
  labelBox_->setObjectName("markerLabel");
  labelBox_->setToolTip("What changed at this time; type a label or pick one used before");
  labelBox_->setEditable(true);
  labelBox_->setInsertPolicy(QComboBox::NoInsert);
  // Without a completer Enter always reaches OK: an inline completion would take the first Enter for itself.
  labelBox_->setCompleter(nullptr);
  labelBox_->addItems(recentLabels);
  labelBox_->setMinimumContentsLength(24);
  // No label is chosen for the user: a label left over from the last marker named the wrong step.
  labelBox_->setCurrentIndex(-1);
  labelBox_->setEditText(currentLabel);
  labelBox_->lineEdit()->selectAll();
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->addRow("Time:", timeLabel_);
  form->addRow("Label:", labelBox_);
  layout->addLayout(form);
  layout->addWidget(buttons_);
  // An empty label is no label: OK only with text.
  auto updateOk = [this] { buttons_->button(QDialogButtonBox::Ok)->setEnabled(!Label().isEmpty()); };
  connect(labelBox_, &QComboBox::editTextChanged, this, updateOk);
  updateOk();
  labelBox_->setFocus();
}

QString MarkerDialog::Label() const { return labelBox_->currentText().simplified(); }

MarkerTimeDialog::MarkerTimeDialog(double time, const QString& label, QWidget* parent)
    : QDialog(parent), timeEdit_(new CarryingDateTimeEdit(DateTimeOf(time), this)), old_(time) {
  setObjectName("MarkerTimeDialog");
  setWindowTitle("Move marker");
  timeEdit_->setObjectName("markerNewTime");
  // The year in full: a two-digit year in an editor would be read in the wrong century.
  QString date = chart::ShortDateFormat();
  if (!date.contains("yyyy")) date.replace("yy", "yyyy");
  timeEdit_->setDisplayFormat(date + " " + chart::LongTimeFormat());
  timeEdit_->setToolTip("The marker's new time; the response times are measured from it");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->addRow("Marker:", new QLabel(label, this));
  form->addRow("Time:", timeEdit_);
  layout->addLayout(form);
  layout->addWidget(OkCancel(this));
  timeEdit_->setFocus();
}

double MarkerTimeDialog::Time() const { return DaysOf(timeEdit_->dateTime(), old_); }

QStringList DefaultMarkerLabels() { return {"gas on 800 ppm", "gas off", "zero air"}; }

QStringList WithRecentLabel(QStringList recent, const QString& label, int max) {
  recent.removeAll(label);
  recent.prepend(label);
  while (recent.size() > max) recent.removeLast();
  return recent;
}

}  // namespace quarn::ui
