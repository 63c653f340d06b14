#pragma once

#include <string>

#include "base/MessageBoxes.h"
#include "calibration/Calibration.h"
#include "widgets/WizardFrame.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quarn::calibration {

// The calibration wizard: a welcome page, the zero step and the span step. Opened modally; every step
// opens the port and closes it again, so no port stays open between two user actions. Hands nothing back.
class CalibrationWizard : public widgets::WizardFrame, private CalibrationHost {
  Q_OBJECT

 public:
  // portNumber: the port as decimal text. The steps' commands carry the address 00 themselves, and the
  // criteria's zero and scale limits play no part here.
  CalibrationWizard(std::string portNumber, base::MessageBoxes& boxes, QWidget* parent = nullptr);
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

  // CalibrationHost
  void EnableNext() override;
  void SetNextCaption(const std::string& caption) override;
  void ShowProgress(const std::string& text) override;

  base::MessageBoxes& boxes_;

  QPushButton* zeroButton_ = nullptr;
  QLineEdit* concentrationEdit_ = nullptr;
  QPushButton* spanButton_ = nullptr;
  QLabel* progressLabel_ = nullptr;
};

}  // namespace quarn::calibration
