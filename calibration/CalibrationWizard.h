#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "base/MessageBoxes.h"
#include "calibration/Calibration.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace quarn::calibration {

// The calibration wizard: a welcome page, the zero step and the span step. Opened modally; every step
// opens the port and closes it again, so no port stays open between two user actions. Hands nothing back.
class CalibrationWizard : public QDialog, private CalibrationHost {
  Q_OBJECT

 public:
  // com: the port number as decimal text; address: the sensor address ("00"); zero and scale: zeroCriterion and
  // scaleCriterion of the criteria. The steps use only com: their commands carry the address 00 themselves.
  CalibrationWizard(std::string com, std::string address, int32_t zero, int32_t scale, base::MessageBoxes& boxes,
                    QWidget* parent = nullptr);
  ~CalibrationWizard() override;

  std::string portNumber;
  std::string address;
  int32_t zeroCriterion = 0;
  int32_t scaleCriterion = 0;

 public slots:
  void NextClicked();
  void BackClicked();
  void FinishClicked();
  void ZeroClicked();
  void SpanClicked();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowPage(int index);

  // CalibrationHost
  void EnableNext() override;
  void SetNextCaption(const std::string& caption) override;
  void ShowProgress(const std::string& text) override;

  base::MessageBoxes& boxes_;

  QStackedWidget* pages_ = nullptr;
  QPushButton* backButton_ = nullptr;
  QPushButton* nextButton_ = nullptr;
  QPushButton* finishButton_ = nullptr;
  QPushButton* zeroButton_ = nullptr;
  QLineEdit* concentrationEdit_ = nullptr;
  QPushButton* spanButton_ = nullptr;
  QLabel* progressLabel_ = nullptr;
};

}  // namespace quarn::calibration
