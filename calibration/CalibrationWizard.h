#pragma once

#include <QTimer>
#include <chrono>
#include <string>
#include <thread>

#include "base/MessageBoxes.h"
#include "calibration/Calibration.h"
#include "calibration/CalibrationLog.h"
#include "widgets/WizardFrame.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quarn::calibration {

// Whose steps the calibration log records, and where: the save folder. No log without a folder.
struct CalibrationLogTarget {
  std::string serialNumber;
  std::string firmware;
  std::string folder;
};

// The calibration wizard: a welcome page, the zero step and the span step. Opened modally; every step
// opens the port and closes it again, so no port stays open between two user actions. Hands nothing back.
class CalibrationWizard : public widgets::WizardFrame, private CalibrationView {
  Q_OBJECT

 public:
  // portNumber: the port as decimal text. The steps' commands carry the address 00 themselves, and the
  // criteria's zero and scale limits play no part here.
  CalibrationWizard(std::string portNumber, base::MessageBoxes& boxes, QWidget* parent = nullptr,
                    CalibrationLogTarget log = {});
  ~CalibrationWizard() override;

  std::string portNumber;

 public slots:
  void NextClicked();
  void FinishClicked();
  void ZeroClicked();
  void SpanClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowPage(int index) override;
  // Takes one concentration reading on a worker, unless one is under way.
  void StartReading();
  void ShowReading(std::optional<int32_t> ppm);
  // Lets a reading under way finish, so that a step has the port to itself.
  void FinishReading();
  void PauseReadings();
  void ResumeReadings();
  void Log(const StepRecord& record, const std::optional<Stability>& stability);

  // CalibrationView
  void EnableNext() override;
  void SetNextCaption(const std::string& caption) override;
  void ShowProgress(const std::string& text) override;

  base::MessageBoxes& boxes_;
  CalibrationLogTarget log_;
  QTimer readingTimer_;
  std::thread reading_;
  StabilityWindow stability_;
  std::chrono::steady_clock::time_point opened_ = std::chrono::steady_clock::now();

  QPushButton* zeroButton_ = nullptr;
  QLineEdit* concentrationEdit_ = nullptr;
  QPushButton* spanButton_ = nullptr;
  QLabel* progressLabel_ = nullptr;
  QLabel* zeroReadingLabel_ = nullptr;
  QLabel* spanReadingLabel_ = nullptr;
};

}  // namespace quarn::calibration
