#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "identify/PortSearch.h"
#include "widgets/WizardFrame.h"

class QLabel;
class QTableWidget;
class QTimer;

namespace quarn::identify {

// The port search wizard: a baseline of the ports that open, then a scan every 500 ms until a new one
// turns up, whose sensor is asked for its serial number and firmware revision.
// Opened modally; Accepted (OK) after Finish, Rejected (Cancel) after Abort with no new port or the
// close box. The opener sets address before showing it and reads Result() after an OK.
class PortSearchWizard : public widgets::WizardFrame {
  Q_OBJECT

 public:
  explicit PortSearchWizard(base::MessageBoxes& boxes, QWidget* parent = nullptr);
  ~PortSearchWizard() override;

  std::string address;  // sensor address in the requests

  std::vector<int32_t> baselinePorts;  // baseline: ports that opened when Next was pressed on the first page
  std::vector<int32_t> newPorts;       // ports of the latest scan that are not in the baseline

  // Port number, serial number and firmware revision found; no type or range code.
  const base::SensorIdentity& Result() const { return result_; }

  void done(int result) override;

 public slots:
  void NextClicked();
  void SearchTick();

 private:
  void ShowPage(int index) override;
  void SetResultRow(const std::string& row, const std::string& value);
  std::string ResultRow(const char* row) const;

  base::MessageBoxes& boxes_;
  base::SensorIdentity result_;

  QTimer* searchTimer_ = nullptr;
  QLabel* portsFoundLabel_ = nullptr;
  QLabel* searchingLabel_ = nullptr;
  QLabel* instructionLabel_ = nullptr;
  QTableWidget* resultTable_ = nullptr;
};

}  // namespace quarn::identify
