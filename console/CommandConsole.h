#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "console/ReaderChannel.h"
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

class ConsoleReader;

// The command console: sends raw command lines to the sensor and shows what comes back. Opened modally
// by the main window, which sets the public fields first:
//
//   CommandConsole console(Boxes(), this);
//   console.portNumber = identity.portNumber;
//   console.serialNumber = identity.serialNumber;
//   console.firmware = identity.firmware;
//   console.programFolder = programFolder;
//   console.exec();
//
// Showing loads the command list, opens the port and starts the reader; closing (any way) stops the reader
// and then closes the port.
class CommandConsole : public QDialog {
  Q_OBJECT

 public:
  explicit CommandConsole(base::MessageBoxes& boxes, QWidget* owner = nullptr);
  ~CommandConsole() override;

  std::string portNumber;     // port number as decimal text ("7")
  std::string serialNumber;   // serial number, for the saved log's header
  std::string firmware;       // firmware revision, for the saved log's header
  std::string programFolder;  // program folder ending in a separator; holds commands.ini

  // The smallest outer size of the window.
  static constexpr int kMinWidth = 902;
  static constexpr int kMinHeight = 718;

  // For tests and the opener: whether the port is open and the reader runs.
  bool HasPort() const { return port_ != nullptr; }
  bool ReaderRunning() const { return reader_ != nullptr; }
  // Where the reader posts its lines and boxes; tests post there as the reader does.
  ReaderChannel& Channel() { return channel_; }

 public slots:
  void SendClicked();
  void CommandListClicked();
  void SaveLogClicked();
  // Ends the modal loop: stops the reader first, then closes the port.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  // Loads the command list, opens the port, starts the reader. False when commands.ini cannot be read.
  bool OpenPortOnShow();
  void SetCommandList(const std::vector<std::string>& entries);
  void AppendLog(const std::string& utf8Line);
  // Shows what the reader has posted, in order.
  void TakeReports();
  void StopReaderAndClosePort();
  void KeepOuterMinimum();

  base::MessageBoxes& boxes_;
  bool shown_ = false;
  bool showingBox_ = false;  // a reader's box is open; the reports behind it wait
  link::PortHandle port_;
  ReaderChannel channel_;  // outlives reader_, which posts into it
  std::unique_ptr<ConsoleReader> reader_;
  QTimer* reportTimer_ = nullptr;

  QLineEdit* commandEdit_ = nullptr;
  QLabel* crLabel_ = nullptr;
  QCheckBox* addressPrefixBox_ = nullptr;
  QPushButton* sendButton_ = nullptr;
  QButtonGroup* modeGroup_ = nullptr;  // the mode buttons; their box is the child named "RG1"
  QListWidget* commandList_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPushButton* saveLogButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  QFileDialog* saveDialog_ = nullptr;
};

}  // namespace quarn::console
