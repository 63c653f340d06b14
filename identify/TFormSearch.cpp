#include "TFormSearch.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgWidget>
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

QLabel* Heading(const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text));
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.2);
  label->setFont(font);
  label->setWordWrap(true);
  return label;
}

QSvgWidget* Picture(const char* resource, QSize size) {
  auto* picture = new QSvgWidget(resource);
  picture->setFixedSize(size);
  return picture;
}

QLabel* NamedLabel(const char* name, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setObjectName(name);
  return label;
}

}  // namespace

TFormSearch::TFormSearch(MessageBoxes& boxes, QWidget* parent) : QDialog(parent), boxes_(boxes) {
  RegisterSearchImages();
  setObjectName("FormSearch");
  setWindowTitle("Master search the connected controller");

  Page = new QStackedWidget;
  Page->setObjectName("Page");

  auto* page0 = new QWidget;
  auto* layout0 = new QVBoxLayout(page0);
  layout0->addWidget(Heading("Step 1 - Disconnect previously connected QUARN USB to UART converter"));
  layout0->addWidget(Picture(":/identify/device-unplugged.svg", {256, 256}), 0, Qt::AlignHCenter);
  layout0->addStretch();

  auto* page1 = new QWidget;
  auto* layout1 = new QVBoxLayout(page1);
  layout1->addWidget(Heading("Step 2 - Connect the QUARN USB to UART Converter"));
  layout1->addWidget(Picture(":/identify/device-plugged.svg", {256, 256}), 0, Qt::AlignHCenter);
  Label5 = NamedLabel("Label5", "");
  Label6 = NamedLabel("Label6", "Searching ...");
  Label3 = NamedLabel("Label3", ": ");
  layout1->addWidget(Label5);
  layout1->addWidget(Label6);
  layout1->addWidget(Label3);
  layout1->addStretch();

  auto* page2 = new QWidget;
  auto* layout2 = new QVBoxLayout(page2);
  layout2->addWidget(Heading("Search results"));
  auto* results = new QHBoxLayout;
  // The sensor picture is 504 x 584; shown at about two fifths beside the grid.
  results->addWidget(Picture(":/identify/sensor.svg", {202, 234}), 0, Qt::AlignTop);
  VLE1 = new QTableWidget(3, 2);
  VLE1->setObjectName("VLE1");
  VLE1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  VLE1->setHorizontalHeaderLabels({"Name", "Value"});
  VLE1->verticalHeader()->hide();
  VLE1->horizontalHeader()->setStretchLastSection(true);
  for (int row = 0; row < 3; ++row) {
    VLE1->setItem(row, 0, new QTableWidgetItem(kResultRows[row]));
    VLE1->setItem(row, 1, new QTableWidgetItem(""));
  }
  VLE1->setColumnWidth(0, 120);
  VLE1->setMinimumWidth(300);
  results->addWidget(VLE1, 1);
  layout2->addLayout(results);
  layout2->addStretch();

  Page->addWidget(page0);
  Page->addWidget(page1);
  Page->addWidget(page2);

  bBack = new QPushButton("<< back");
  bBack->setObjectName("bBack");
  bBack->hide();
  bNext = new QPushButton("Next >>");
  bNext->setObjectName("bNext");
  connect(bBack, &QPushButton::clicked, this, &TFormSearch::bBackClick);
  connect(bNext, &QPushButton::clicked, this, &TFormSearch::bNextClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bBack);
  buttons->addWidget(bNext);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Page, 1);
  layout->addLayout(buttons);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kScanIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &TFormSearch::Timer1Timer);

  ShowPage(0);
  resize(560, 420);
}

TFormSearch::~TFormSearch() = default;

void TFormSearch::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowPage(0);
}

// Only the close box and the buttons end the wizard, as on the original platform: Escape does nothing.
void TFormSearch::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}

void TFormSearch::done(int result) {
  Timer1->stop();
  QDialog::done(result);
}

void TFormSearch::ShowPage(int index) {
  Page->setCurrentIndex(index);
  switch (index) {
    case 0:
      bBack->hide();
      bNext->setText("Next >>");
      break;
    case 1:
      bNext->setText("Abort");
      bBack->show();
      bBack->setEnabled(true);
      Label5->setText(Q("Ports found: " + PortListText(MComP)));
      break;
    case 2:
      bNext->setText("Finish");
      bBack->setEnabled(false);
      break;
  }
}

void TFormSearch::bNextClick() {
  switch (Page->currentIndex()) {
    case 0:
      MComP = ScanPorts(boxes_);
      Timer1->start();
      ShowPage(1);
      break;
    case 1: {
      Timer1->stop();
      if (MNewCom.empty()) {
        reject();
        return;
      }
      const bool probed = ProbeNewPorts(
          MNewCom, FNN,
          [this](const std::string& row, const std::string& value) { SetResultRow(row, value); }, boxes_);
      if (probed) ShowPage(2);
      break;
    }
    case 2:
      RCom = ResultRow(kRowPort);
      RSN = ResultRow(kRowSerial);
      RType = ResultRow(kRowFirmware);
      accept();
      break;
  }
}

void TFormSearch::bBackClick() {
  if (Page->currentIndex() > 0) ShowPage(Page->currentIndex() - 1);
}

void TFormSearch::Timer1Timer() {
  Label6->setText(Q(NextSearchingText(Label6->text().toStdString())));
  MNewCom = PortsNotIn(ScanPorts(boxes_), MComP);
  if (!MNewCom.empty()) {
    Timer1->stop();
    bNextClick();
    return;
  }
  Label3->setText("Connect the controller !");
}

void TFormSearch::SetResultRow(const std::string& row, const std::string& value) {
  for (int r = 0; r < VLE1->rowCount(); ++r) {
    if (VLE1->item(r, 0)->text() == Q(row)) VLE1->item(r, 1)->setText(Q(value));
  }
}

std::string TFormSearch::ResultRow(const char* row) const {
  for (int r = 0; r < VLE1->rowCount(); ++r) {
    if (VLE1->item(r, 0)->text() == row) return VLE1->item(r, 1)->text().toStdString();
  }
  return {};
}

}  // namespace quarn::identify
