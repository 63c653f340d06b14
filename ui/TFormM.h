#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>

#include "identify/SensorCheck.h"
#include "identify/Toolbar.h"
#include "ui/QtMessageBoxes.h"

class QTableWidget;
class QToolButton;
class QToolBar;

namespace quarn::ui {

// The main window: owns the program's state and wires the toolbar to the logic.
class TFormM : public QMainWindow, public identify::CheckHost {
  Q_OBJECT

 public:
  // boxes and portStore may be given by tests; otherwise the window makes its own.
  explicit TFormM(MessageBoxes* boxes = nullptr, identify::PortStore* portStore = nullptr,
                  QWidget* parent = nullptr);
  ~TFormM() override;

  // Sensor identity (RCom, RSN, RType).
  identify::IdentityFields Identity;

  QToolButton* Button(identify::Button which) const { return buttons_[static_cast<int>(which)]; }
  QString IdentityRow(const QString& row) const;

  // CheckHost
  void SetIdentityRow(const std::string& row, const std::string& value) override;
  void ApplyToolbar(identify::ToolbarColumn column) override;

 public slots:
  void bSensClick();
  void CheckCoeff();

 private:
  void BuildToolbar();
  QWidget* BuildLeftPanel();

  std::unique_ptr<QtMessageBoxes> ownBoxes_;
  std::unique_ptr<identify::PortStore> ownPortStore_;
  MessageBoxes* boxes_;
  identify::PortStore* portStore_;

  QToolBar* toolbar_ = nullptr;
  std::array<QToolButton*, identify::kButtonCount> buttons_{};
  QTableWidget* VLE1 = nullptr;
};

}  // namespace quarn::ui
