#include "RunControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <system_error>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "ui/MainWindow.h"
#include "ui/MeasurementChart.h"
#include "ui/MeasurementTableModel.h"

namespace quarn::ui {

RunControl::RunControl(MainWindow& form) : form_(form) {}

RunControl::~RunControl() {
  if (pollingThread_) {
    pollingThread_->RequestStop();
    pollingThread_->Join();
  }
}

void RunControl::SetInterval(int32_t ms) {
  if (pollingThread_) pollingThread_->SetInterval(ms);
}

void RunControl::Start() {
  identify::IdentityFields& id = form_.identity;
  if (id.portNumber.empty() || id.serialNumber.empty()) {
    form_.Boxes().Show(base::BoxKind::Warning, base::BoxButtons::Ok, "First, determine the sensor!");
    return;
  }
  // An unreadable or missing criteria file has shown its box: no run on default values.
  if (form_.Criteria().ReadCriteria(false) != config::CriteriaResult::Done) return;
  try {
    form_.CheckCoeff();
  } catch (const std::exception& e) {
    form_.Boxes().Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                       std::string("Error occurred while checking the coefficients \n\r") + e.what());
  }

  MeasurementChart& chart = *form_.Chart();
  if (chart.HasSeries()) {
    // A further run: same data file, fresh store and series; the table numbers on.
    measurements.Clear();
    chart.ClearPoints();
  } else {
    DataFileName =
        acquisition::DataFileName(form_.saveFolder, id.serialNumber, id.firmware, acquisition::CurrentLocalDateTime());
    chart.CreateSeries();
  }
  if (!form_.advancedMode) form_.ShowBasicMode();

  acquisition::RunContext context{measurements, form_.Boxes(), regional_};
  acquisition::ReaderInputs inputs{form_.saveFolder, id.portNumber, id.serialNumber, id.firmware, DataFileName};
  pollingThread_ = std::make_unique<acquisition::PollingThread>(context, inputs, form_.IntervalPosition() * 100, "00");
  pollingThread_->Start();

  form_.findChild<QTimer*>("Timer1")->start();
  form_.ApplyToolbar(ui::ToolbarColumn::Start);
}

void RunControl::Stop() {
  if (pollingThread_) {
    // Works whether the poller still runs or has already ended on its own.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pollingThread_->RequestStop();
    pollingThread_->Join();
    pollingThread_.reset();
    QApplication::restoreOverrideCursor();
  }
  DiscardDataFile =
      form_.Boxes().Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Save Date to file?") == base::BoxAnswer::No;
  form_.ApplyToolbar(ui::ToolbarColumn::Stop);
}

void RunControl::Tick() {
  const size_t n = measurements.Count();
  MeasurementChart& chart = *form_.Chart();
  if (!chart.HasSeries()) return;
  const size_t shown = static_cast<size_t>(chart.PointCount());
  if (shown >= n) return;
  std::vector<acquisition::MeasurementRecord> records = measurements.ReadFrom(shown);
  records.resize(std::min(records.size(), n - shown));

  std::vector<MeasurementTableModel::Row> rows;
  rows.reserve(records.size());
  for (const acquisition::MeasurementRecord& r : records) {
    chart.AddPoint(r.DT, {double(r.C2), double(r.S), double(r.T), double(r.Uo), double(r.Ur)});
    rows.push_back({r.DT, {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}, false});
  }
  MeasurementTableModel& table = *form_.TableModel();
  table.Append(rows);
  if (form_.AutoScroll()->isChecked()) {
    const QModelIndex last = table.index(table.RecordRows() - 1, 0);
    form_.Table()->setCurrentIndex(last);
    form_.Table()->scrollTo(last);
  }
  chart.Refresh();
}

void RunControl::Save() {
  const QString name = QString::fromStdString(std::filesystem::path(DataFileName).filename().string());
  const QString chosen =
      QFileDialog::getSaveFileName(&form_, "Input FileName", QString::fromStdString(form_.saveFolder) + name,
                                   "Text File (*.txt)", nullptr, QFileDialog::DontConfirmOverwrite);
  if (chosen.isEmpty()) return;
  SaveTo(chosen);
}

void RunControl::SaveTo(const QString& chosen) {
  std::filesystem::path target = chosen.toStdString();
  if (target.filename().string().find('.') == std::string::npos) target += ".txt";
  // Replaces an existing file; a copy onto the data file itself is refused by the system, not done.
  std::error_code ignored;
  std::filesystem::copy_file(DataFileName, target, std::filesystem::copy_options::overwrite_existing, ignored);
}

void RunControl::DeleteDiscardedFile() {
  std::error_code error;
  if (DiscardDataFile && !DataFileName.empty() && std::filesystem::exists(DataFileName, error)) {
    if (!std::filesystem::remove(DataFileName, error) || error) {
      form_.Boxes().Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                         "Error #" + std::to_string(error.value()) + " delete file!");
    }
  }
}

void RunControl::Clear() {
  if (form_.Boxes().Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Clear comport settings?") !=
      base::BoxAnswer::Yes)
    return;
  for (const char* row : {identify::kRowSerial, identify::kRowFirmware, identify::kRowType, identify::kRowRange}) {
    form_.SetIdentityRow(row, "");
  }
  form_.identity.serialNumber.clear();
  form_.identity.firmware.clear();
  form_.coefficientLines.clear();
  DeleteDiscardedFile();
  DiscardDataFile = false;
  form_.TableModel()->Reset();
  form_.Chart()->RemoveSeries();
  measurements.Clear();
  form_.ApplyToolbar(ui::ToolbarColumn::Clear);
  form_.update();
}

void RunControl::CloseSequence() {
  if (form_.Button(ui::Button::Stop)->isEnabled()) Stop();
  DeleteDiscardedFile();
}

}  // namespace quarn::ui
