#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "identify/PortSearch.h"
#include "link/MessageBoxes.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTimer;

namespace quarn::identify {

// The port search wizard: a baseline of the ports that open, then a scan every 500 ms until a new one
// turns up, whose sensor is asked for its serial number and firmware revision.
// Opened modally; Accepted (OK) after Finish, Rejected (Cancel) after Abort with no new port or the
// close box. The opener sets FNN before showing it and reads RCom, RSN and RType after an OK.
class TFormSearch : public QDialog {
  Q_OBJECT

 public:
  explicit TFormSearch(MessageBoxes& boxes, QWidget* parent = nullptr);
  ~TFormSearch() override;

  std::string FNN;    // sensor address in the requests
  std::string RCom;   // result: port number as decimal text
  std::string RSN;    // result: serial number
  std::string RType;  // result: firmware revision

  std::vector<int32_t> MComP;    // baseline: ports that opened when Next was pressed on the first page
  std::vector<int32_t> MNewCom;  // ports of the latest scan that are not in the baseline

  SearchResult Result() const { return {RCom, RSN, RType}; }

  void done(int result) override;

 public slots:
  void bNextClick();
  void bBackClick();
  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowPage(int index);
  void SetResultRow(const std::string& row, const std::string& value);
  std::string ResultRow(const char* row) const;

  MessageBoxes& boxes_;

  QStackedWidget* Page = nullptr;
  QPushButton* bNext = nullptr;
  QPushButton* bBack = nullptr;
  QTimer* Timer1 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label3 = nullptr;
  QTableWidget* VLE1 = nullptr;
};

}  // namespace quarn::identify
