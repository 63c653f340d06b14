#include <QCheckBox>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QLineEdit>
#include <QSlider>
#include <QTableWidget>
#include <limits>
#include <optional>

#include "calibration/TFormCalibr2.h"
#include "console/TFormCMD.h"
#include "identify/PortSearch.h"
#include "identify/TFormSearch.h"
#include "support/TFormMail.h"
#include "support/TFormSend.h"
#include "ui/MeasChart.h"
#include "ui/RunControl.h"
#include "ui/TFormM.h"
#include "ui/ZoomLogic.h"

// The main window's actions: the windows it opens, the interval controls, the run and the zoom buttons.
namespace quarn::ui {

// ---- windows opened from the toolbar and the menu ---------------------------------------------------

void TFormM::bSearchClick() {
  identify::SearchResult result;
  bool ok = false;
  {
    identify::TFormSearch search(*boxes_, this);
    search.FNN = "00";
    ok = search.exec() == QDialog::Accepted;
    result = search.Result();
  }
  identify::ApplySearchResult(ok, result, Identity, *portStore_, *this, *boxes_);
}

void TFormM::bCalibrClick() {
  calibration::TFormCalibr2 calibr(Identity.RCom, "00", config::NSI.Kzero2, config::NSI.KScale, *boxes_, this);
  calibr.exec();
}

void TFormM::SettingsClick() {
  support::TFormMail mail(FLocalPath, config::NSI.FTPServer, config::NSI.FTPPort, config::NSI.FTPPath, *boxes_, this);
  mail.exec();
}

void TFormM::bSendClick() {
  support::SendInputs inputs;
  inputs.FlocalPath = FLocalPath;
  for (int32_t value : CoeffTable) inputs.CoeffTable.push_back(std::to_string(value));
  inputs.FSaveFile = run_->DataFileName;
  inputs.MailSupport = config::NSI.EMail;
  inputs.FTPServer = config::NSI.FTPServer;
  inputs.FTPPort = config::NSI.FTPPort;
  inputs.FTPPath = config::NSI.FTPPath;
  for (int i = 0; i < 5; ++i) inputs.FParam[i] = VLE1->item(i, 1)->text().toStdString();
  support::TFormSend send(std::move(inputs), *boxes_, this);
  send.exec();
}

void TFormM::bCmdClick() {
  console::TFormCMD command(*boxes_, this);
  command.FPort = Identity.RCom;
  command.FSN = Identity.RSN;
  command.FType = Identity.RType;
  command.FLocalPath = FLocalPath;
  command.FRun = false;
  command.exec();
}


// ---- interval --------------------------------------------------------------------------------------

void TFormM::SetIntervalPosition(int position) { TrackBar1->setValue(position); }

int TFormM::IntervalPosition() const { return TrackBar1->value(); }

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

void TFormM::TrackBarChanged() {
  const int position = TrackBar1->value();
  updatingInterval_ = true;
  eDeley->setText(QLocale().toString(position / 10.0, 'g', QLocale::FloatingPointShortest));
  updatingInterval_ = false;
  run_->SetInterval(position * 100);
}

void TFormM::SetIntervalFromText(int position) {
  if (position != TrackBar1->value()) {
    TrackBar1->setValue(position);  // runs the change action
  } else {
    TrackBarChanged();
  }
}

void TFormM::IntervalTextChanged(const QString& text) {
  if (updatingInterval_) return;
  double value = 0;
  const std::optional<int> position = TypedIntervalPosition(text, &value);
  // A lone 0 (on the way to 0.5) changes nothing yet.
  if (!position || value <= 0) return;
  if (*position != TrackBar1->value()) {
    TrackBar1->setValue(*position);  // runs the change action, which writes the text
  } else {
    // Rewriting the text here would eat a decimal separator just typed ("1," would become "1").
    run_->SetInterval(*position * 100);
  }
}

void TFormM::IntervalEnter() {
  const std::optional<int> position = TypedIntervalPosition(eDeley->text());
  if (!position) {
    boxes_->Show(BoxKind::Error, BoxButtons::Ok,
                 "'" + eDeley->text().toStdString() + "' is not a valid floating point value");
    return;
  }
  SetIntervalFromText(*position);
}

bool TFormM::eventFilter(QObject* watched, QEvent* event) {
  if (watched == eDeley && event->type() == QEvent::KeyPress) {
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
    const bool allowed = (text.size() == 1 && text[0] >= '0' && text[0] <= '9') || text == "," ||
                         text == QLocale().decimalPoint();
    return !allowed;
  }
  return QMainWindow::eventFilter(watched, event);
}


// ---- run, display and saved data -------------------------------------------------------------------

void TFormM::bStartClick() { run_->Start(); }
void TFormM::bStopClick() { run_->Stop(); }
void TFormM::bSaveClick() { run_->Save(); }
void TFormM::bClearClick() { run_->Clear(); }
void TFormM::Timer1Timer() { run_->Tick(); }

void TFormM::ZoomXIn() {
  int f, l;
  if (!Chart1->HasSeries() || !Chart1->VisiblePoints(f, l)) return;
  if (const auto range = ZoomTimeIn(f, l)) {
    Chart1->SetTimeRange(Chart1->PointX(range->first), Chart1->PointX(range->second));
  } else {
    Chart1->SetTimeRange(Chart1->TimeMin(), Chart1->TimeMax());
  }
  Chart1->Refresh();
}

void TFormM::ZoomXOut() {
  int f, l;
  if (!Chart1->HasSeries() || !Chart1->VisiblePoints(f, l)) return;
  if (const auto range = ZoomTimeOut(f, l, Chart1->PointCount())) {
    Chart1->SetTimeRange(Chart1->PointX(range->first), Chart1->PointX(range->second));
  } else {
    Chart1->SetTimeRange(Chart1->TimeMin(), Chart1->TimeMax());
  }
  Chart1->Refresh();
}

void TFormM::ZoomYIn() {
  if (!Chart1->HasSeries()) return;
  if (const auto range = ZoomValueIn(Chart1->ValueMin(), Chart1->ValueMax())) {
    Chart1->SetValueRange(range->first, range->second);
  } else {
    Chart1->SetValueRange(Chart1->ValueMin(), Chart1->ValueMax());
  }
  Chart1->Refresh();
}

void TFormM::ZoomYOut() {
  if (!Chart1->HasSeries()) return;
  const auto range = ZoomValueOut(Chart1->ValueMin(), Chart1->ValueMax());
  Chart1->SetValueRange(range.first, range.second);
  Chart1->Refresh();
}

void TFormM::ZoomReset() { Chart1->SetAutoScale(); }


}  // namespace quarn::ui
