#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTableWidget>
#include <limits>
#include <optional>

#include "calibration/CalibrationWizard.h"
#include "chart/ChartZoom.h"
#include "chart/MeasurementChart.h"
#include "console/CommandConsole.h"
#include "identify/PortSearch.h"
#include "identify/PortSearchWizard.h"
#include "support/MailSettingsWindow.h"
#include "support/SupportSendWindow.h"
#include "ui/MainWindow.h"
#include "ui/RunControl.h"

// The main window's actions: the windows it opens, the interval controls, the run and the zoom buttons.
namespace quarn::ui {

// ---- windows opened from the toolbar and the menu ---------------------------------------------------

void MainWindow::SearchClicked() {
  base::SensorIdentity result;
  bool ok = false;
  {
    identify::PortSearchWizard search(*boxes_, this);
    search.address = "00";
    ok = search.exec() == QDialog::Accepted;
    result = search.Result();
  }
  ApplyToolbar(ok ? ToolbarColumn::SearchOk : ToolbarColumn::SearchCancelled);
  identify::ApplySearchResult(ok, result, identity, *portStore_, *this, *boxes_);
}

void MainWindow::CalibrateClicked() {
  calibration::CalibrationWizard calibr(identity.portNumber, *boxes_, this,
                                        {identity.serialNumber, identity.firmware, saveFolder});
  calibr.exec();
}

void MainWindow::SettingsClicked() {
  support::MailSettingsWindow mail(programFolder, config::criteriaSettings.ftpServer, config::criteriaSettings.ftpPort,
                                   config::criteriaSettings.ftpPath, *boxes_, this);
  mail.exec();
}

void MainWindow::SendClicked() {
  support::SendInputs inputs;
  inputs.programFolder = programFolder;
  inputs.dataFilePath = run_->DataFilePath();
  inputs.supportMail = config::criteriaSettings.supportMail;
  inputs.ftpServer = config::criteriaSettings.ftpServer;
  inputs.ftpPort = config::criteriaSettings.ftpPort;
  inputs.ftpPath = config::criteriaSettings.ftpPath;
  inputs.identity = ShownIdentity();
  support::SupportSendWindow send(std::move(inputs), *boxes_, this);
  send.exec();
}

void MainWindow::ConsoleClicked() {
  console::CommandConsole command(*boxes_, this);
  command.portNumber = identity.portNumber;
  command.serialNumber = identity.serialNumber;
  command.firmware = identity.firmware;
  command.programFolder = programFolder;
  command.exec();
}

// ---- interval --------------------------------------------------------------------------------------

int MainWindow::IntervalPosition() const { return intervalSlider_->value(); }

namespace {

// The slider position (tenths of a second, 5..990) for a typed interval; nothing when the text is no number.
// A thousands separator makes no number ("1,000" where "." is the decimal point), and a number beyond any
// integer type clamps like any other large one.
std::optional<int> TypedIntervalPosition(const QString& text, double* value = nullptr) {
  QLocale locale;
  locale.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  double seconds = locale.toDouble(text, &ok);
  if (!ok) {
    // Digits alone that no double holds.
    static const QRegularExpression digits("^[0-9]+$");
    if (!digits.match(text).hasMatch()) return std::nullopt;
    seconds = std::numeric_limits<double>::max();
  }
  if (value) *value = seconds;
  return static_cast<int>(std::llrint(std::clamp(seconds * 10, 5.0, 990.0)));
}

}  // namespace

void MainWindow::IntervalSliderChanged() {
  const int position = intervalSlider_->value();
  updatingInterval_ = true;
  intervalEdit_->setText(QLocale().toString(position / 10.0, 'g', QLocale::FloatingPointShortest));
  updatingInterval_ = false;
  run_->SetInterval(position * 100);
}

void MainWindow::SetIntervalFromText(int position) {
  if (position != intervalSlider_->value()) {
    intervalSlider_->setValue(position);  // runs the change action
  } else {
    IntervalSliderChanged();
  }
}

void MainWindow::IntervalTextChanged(const QString& text) {
  if (updatingInterval_) return;
  double value = 0;
  const std::optional<int> position = TypedIntervalPosition(text, &value);
  // A lone 0 (on the way to 0.5) changes nothing yet.
  if (!position || value <= 0) return;
  if (*position != intervalSlider_->value()) {
    intervalSlider_->setValue(*position);  // runs the change action, which writes the text
  } else {
    // Rewriting the text here would eat a decimal separator just typed ("1," would become "1").
    run_->SetInterval(*position * 100);
  }
}

void MainWindow::IntervalEnter() {
  const std::optional<int> position = TypedIntervalPosition(intervalEdit_->text());
  if (!position) {
    boxes_->Show(base::BoxKind::Error, base::BoxButtons::Ok,
                 "'" + intervalEdit_->text().toStdString() + "' is not a valid floating point value");
    return;
  }
  SetIntervalFromText(*position);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == intervalEdit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      IntervalEnter();
      return true;
    }
    const QString text = key->text();
    // Keys that type nothing or a control character (arrows, Delete, Backspace, Tab) pass, and so do
    // shortcuts such as paste.
    if (text.isEmpty() || !text[0].isPrint()) return false;
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    // Digits and the comma; the locale's own decimal separator too, or a user with a point as separator
    // could not type a fraction at all.
    const bool allowed =
        (text.size() == 1 && text[0] >= '0' && text[0] <= '9') || text == "," || text == QLocale().decimalPoint();
    return !allowed;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- run, display and saved data -------------------------------------------------------------------

void MainWindow::StartClicked() {
  run_->Start({identity, saveFolder, IntervalPosition() * 100, reconnectBox_->isChecked()});
}
void MainWindow::StopClicked() { run_->Stop(); }
void MainWindow::SaveClicked() { run_->Save(); }
void MainWindow::ClearClicked() { run_->Clear(); }

void MainWindow::ZoomXIn() { chart::ZoomTimeInStep(*chart_); }
void MainWindow::ZoomXOut() { chart::ZoomTimeOutStep(*chart_); }
void MainWindow::ZoomYIn() { chart::ZoomValueInStep(*chart_); }
void MainWindow::ZoomYOut() { chart::ZoomValueOutStep(*chart_); }
void MainWindow::ZoomReset() { chart::ZoomResetStep(*chart_); }

}  // namespace quarn::ui
