#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "calibration/Calibration.h"
#include "link/MessageBoxes.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace quarn::calibration {

// The calibration wizard: a welcome page, the zero step and the span step. Opened modally; every step
// opens the port and closes it again, so no port stays open between two user actions. Hands nothing back.
class TFormCalibr2 : public QDialog, private CalibrationHost {
  Q_OBJECT

 public:
  // com: the port number as decimal text; address: the sensor address ("00"); zero and scale: Kzero2 and
  // KScale of the criteria. The steps use only com: their commands carry the address 00 themselves.
  TFormCalibr2(std::string com, std::string address, int32_t zero, int32_t scale, MessageBoxes& boxes,
               QWidget* parent = nullptr);
  ~TFormCalibr2() override;

  std::string FCom;
  std::string FNN;
  int32_t FZero = 0;
  int32_t FScale = 0;

 public slots:
  void bNextClick();
  void bBackClick();
  void bFinishClick();
  void bZeroClick();
  void bCalbClick();

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

  MessageBoxes& boxes_;

  QStackedWidget* Page = nullptr;
  QPushButton* bBack = nullptr;
  QPushButton* bNext = nullptr;
  QPushButton* bFinish = nullptr;
  QPushButton* bZero = nullptr;
  QLineEdit* eCalb = nullptr;
  QPushButton* bCalb = nullptr;
  QLabel* Lprocess = nullptr;
};

}  // namespace quarn::calibration
