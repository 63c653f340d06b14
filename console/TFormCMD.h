#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "console/ReaderChannel.h"
#include "link/MessageBoxes.h"
#include "link/SerialLink.h"

class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace quarn::console {

class THReadCMD;

// The command console: sends raw command lines to the sensor and shows what comes back. Opened modally
// by the main window, which sets the public fields first:
//
//   TFormCMD FormCMD(Boxes(), this);
//   FormCMD.HWtread = ...; FormCMD.HRtread = ...;  // the run's thread variables (not read here)
//   FormCMD.FSN = Identity.RSN; FormCMD.FType = Identity.RType; FormCMD.FLocalPath = FLocalPath;
//   FormCMD.FRun = false; FormCMD.FPort = Identity.RCom;
//   FormCMD.exec();
//
// Showing loads the command list, opens the port and starts the reader; closing (any way) stops the reader
// and then closes the port.
class TFormCMD : public QDialog {
  Q_OBJECT

 public:
  explicit TFormCMD(MessageBoxes& boxes, QWidget* owner = nullptr);
  ~TFormCMD() override;

  std::string FPort;       // port number as decimal text ("7")
  std::string FSN;         // serial number, for the saved log's header
  std::string FType;       // firmware revision, for the saved log's header
  std::string FLocalPath;  // program folder ending in a separator; holds commands.ini
  // The opener's run thread variables and run flag: handed in like the other inputs, read by nothing here.
  const void* HRtread = nullptr;
  const void* HWtread = nullptr;
  bool FRun = false;

  // The smallest outer size of the window.
  static constexpr int kMinWidth = 902;
  static constexpr int kMinHeight = 718;

  // For tests and the opener: whether the port is open and the reader runs.
  bool HasPort() const { return port_ != nullptr; }
  bool ReaderRunning() const { return reader_ != nullptr; }
  // Where the reader posts its lines and boxes; tests post there as the reader does.
  ReaderChannel& Channel() { return channel_; }

 public slots:
  void bSendClick();
  void LBComandClick();
  void BitBtn1Click();
  // Ends the modal loop: stops the reader first, then closes the port.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  // Loads the command list, opens the port, starts the reader. False when commands.ini cannot be read.
  bool FormShow();
  void SetCommandList(const std::vector<std::string>& entries);
  void AppendLog(const std::string& utf8Line);
  // Shows what the reader has posted, in order.
  void TakeReports();
  void StopReaderAndClosePort();
  void KeepOuterMinimum();

  MessageBoxes& boxes_;
  bool shown_ = false;
  bool showingBox_ = false;  // a reader's box is open; the reports behind it wait
  link::PortHandle port_;
  ReaderChannel channel_;  // outlives reader_, which posts into it
  std::unique_ptr<THReadCMD> reader_;
  QTimer* reportTimer_ = nullptr;

  QLineEdit* eCMD = nullptr;
  QLabel* lCR = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* bSend = nullptr;
  QButtonGroup* RG1 = nullptr;  // the mode buttons; their box is the child named "RG1"
  QListWidget* LBComand = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* bClose = nullptr;
  QFileDialog* SaveDialog1 = nullptr;
};

}  // namespace quarn::console
