#include "PortSearchWizard.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

// The pictures live in a static library: their resource must be registered by hand.
static void RegisterSearchImages() { Q_INIT_RESOURCE(SearchImages); }

namespace quarn::identify {

namespace {

constexpr int kScanIntervalMs = 500;
constexpr const char* kResultRows[] = {kRowPort, kRowSerial, kRowFirmware};

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLabel* NamedLabel(const char* name, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setObjectName(name);
  return label;
}

}  // namespace

PortSearchWizard::PortSearchWizard(base::MessageBoxes& boxes, QWidget* parent)
    : WizardFrame("FormSearch", "Master search the connected controller", parent), boxes_(boxes) {
  RegisterSearchImages();

  QVBoxLayout* unplugPage = AddPage("Step 1 - Disconnect previously connected QUARN USB to UART converter");
  unplugPage->addWidget(widgets::Picture(":/identify/device-unplugged.svg", {256, 256}), 0, Qt::AlignHCenter);
  unplugPage->addStretch();

  QVBoxLayout* plugPage = AddPage("Step 2 - Connect the QUARN USB to UART Converter");
  plugPage->addWidget(widgets::Picture(":/identify/device-plugged.svg", {256, 256}), 0, Qt::AlignHCenter);
  portsFoundLabel_ = NamedLabel("Label5", "");
  searchingLabel_ = NamedLabel("Label6", "Searching ...");
  instructionLabel_ = NamedLabel("Label3", ": ");
  plugPage->addWidget(portsFoundLabel_);
  plugPage->addWidget(searchingLabel_);
  plugPage->addWidget(instructionLabel_);
  plugPage->addStretch();

  QVBoxLayout* resultsPage = AddPage("Search results");
  auto* results = new QHBoxLayout;
  // The sensor picture is 504 x 584; shown at about two fifths beside the grid.
  results->addWidget(widgets::Picture(":/identify/sensor.svg", {202, 234}), 0, Qt::AlignTop);
  resultTable_ = new QTableWidget(3, 2);
  resultTable_->setObjectName("VLE1");
  resultTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultTable_->setHorizontalHeaderLabels({"Name", "Value"});
  resultTable_->verticalHeader()->hide();
  resultTable_->horizontalHeader()->setStretchLastSection(true);
  for (int row = 0; row < 3; ++row) {
    resultTable_->setItem(row, 0, new QTableWidgetItem(kResultRows[row]));
    resultTable_->setItem(row, 1, new QTableWidgetItem(""));
  }
  resultTable_->setColumnWidth(0, 120);
  resultTable_->setMinimumWidth(300);
  results->addWidget(resultTable_, 1);
  resultsPage->addLayout(results);
  resultsPage->addStretch();

  AddButtons("<< back");
  connect(nextButton_, &QPushButton::clicked, this, &PortSearchWizard::NextClicked);

  searchTimer_ = new QTimer(this);
  searchTimer_->setObjectName("Timer1");
  searchTimer_->setInterval(kScanIntervalMs);
  connect(searchTimer_, &QTimer::timeout, this, &PortSearchWizard::SearchTick);

  ShowPage(0);
  resize(560, 420);
}

PortSearchWizard::~PortSearchWizard() = default;

void PortSearchWizard::done(int result) {
  searchTimer_->stop();
  QDialog::done(result);
}

void PortSearchWizard::ShowPage(int index) {
  pages_->setCurrentIndex(index);
  switch (index) {
    case 0:
      backButton_->hide();
      nextButton_->setText("Next >>");
      break;
    case 1:
      nextButton_->setText("Abort");
      backButton_->show();
      backButton_->setEnabled(true);
      portsFoundLabel_->setText(Q("Ports found: " + PortListText(baselinePorts)));
      break;
    case 2:
      nextButton_->setText("Finish");
      backButton_->setEnabled(false);
      break;
  }
}

void PortSearchWizard::NextClicked() {
  switch (pages_->currentIndex()) {
    case 0:
      baselinePorts = ScanPorts(boxes_);
      searchTimer_->start();
      ShowPage(1);
      break;
    case 1: {
      searchTimer_->stop();
      if (newPorts.empty()) {
        reject();
        return;
      }
      const bool probed = ProbeNewPorts(
          newPorts, address, [this](const std::string& row, const std::string& value) { SetResultRow(row, value); },
          boxes_);
      if (probed) ShowPage(2);
      break;
    }
    case 2:
      result_.portNumber = ResultRow(kRowPort);
      result_.serialNumber = ResultRow(kRowSerial);
      result_.firmware = ResultRow(kRowFirmware);
      accept();
      break;
  }
}

void PortSearchWizard::SearchTick() {
  searchingLabel_->setText(Q(NextSearchingText(searchingLabel_->text().toStdString())));
  newPorts = PortsNotIn(ScanPorts(boxes_), baselinePorts);
  if (!newPorts.empty()) {
    searchTimer_->stop();
    NextClicked();
    return;
  }
  instructionLabel_->setText("Connect the controller !");
}

void PortSearchWizard::SetResultRow(const std::string& row, const std::string& value) {
  for (int r = 0; r < resultTable_->rowCount(); ++r) {
    if (resultTable_->item(r, 0)->text() == Q(row)) resultTable_->item(r, 1)->setText(Q(value));
  }
}

std::string PortSearchWizard::ResultRow(const char* row) const {
  for (int r = 0; r < resultTable_->rowCount(); ++r) {
    if (resultTable_->item(r, 0)->text() == row) return resultTable_->item(r, 1)->text().toStdString();
  }
  return {};
}

}  // namespace quarn::identify
