#include "CalibrationWizard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"

// The picture lives in a static library: its resource must be registered by hand.
static void RegisterCalibrationImages() { Q_INIT_RESOURCE(CalibrationImages); }

namespace quarn::calibration {

namespace {

constexpr int kLastPage = 2;

// A line of text beside a control.
QLabel* Caption(const char* text) { return new QLabel(QString::fromUtf8(text)); }

QLabel* Paragraph(const char* text) {
  QLabel* label = Caption(text);
  label->setWordWrap(true);
  return label;
}

QPushButton* Button(const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  button->setObjectName(name);
  return button;
}

}  // namespace

CalibrationWizard::CalibrationWizard(std::string portNumber, base::MessageBoxes& boxes, QWidget* parent,
                                     CalibrationLogTarget log)
    : WizardFrame("FormCalibr2", "Calibration", parent),
      portNumber(std::move(portNumber)),
      boxes_(boxes),
      log_(std::move(log)) {
  RegisterCalibrationImages();

  QVBoxLayout* welcomePage = AddPage("Welcome to QUARN sensor calibration procedure");
  welcomePage->addWidget(widgets::Picture(":/calibration/converter.svg", {256, 256}), 0, Qt::AlignHCenter);
  welcomePage->addStretch();

  QVBoxLayout* zeroPage = AddPage("Step 1");
  zeroPage->addWidget(Paragraph("Insure that gas chamber filled with ZERO gas and press “ZERO” button below"));
  auto* zeroRow = new QHBoxLayout;
  zeroRow->addWidget(Caption("Send command “ZERO” "));
  zeroButton_ = Button("bZero", "Send ZERO");
  zeroButton_->setDefault(true);
  connect(zeroButton_, &QPushButton::clicked, this, &CalibrationWizard::ZeroClicked);
  zeroRow->addWidget(zeroButton_);
  zeroRow->addStretch();
  zeroPage->addLayout(zeroRow);
  zeroReadingLabel_ = new QLabel;
  zeroReadingLabel_->setObjectName("LreadingZero");
  zeroPage->addWidget(zeroReadingLabel_);
  zeroPage->addStretch();

  QVBoxLayout* spanPage = AddPage("Step 2");
  spanPage->addWidget(Paragraph("Please fill gas chamber with SPAN gas. Enter gas concentration below"));
  auto* spanGrid = new QGridLayout;
  spanGrid->addWidget(Caption("Gas concentration"), 0, 0);
  concentrationEdit_ = new QLineEdit("0");
  concentrationEdit_->setObjectName("eCalb");
  concentrationEdit_->setMaxLength(4);
  concentrationEdit_->setFixedWidth(80);
  concentrationEdit_->installEventFilter(this);
  spanGrid->addWidget(concentrationEdit_, 0, 1);
  spanGrid->addWidget(Caption("Send command calibration"), 1, 0);
  spanButton_ = Button("bCalb", "Send");
  connect(spanButton_, &QPushButton::clicked, this, &CalibrationWizard::SpanClicked);
  spanGrid->addWidget(spanButton_, 1, 1);
  spanGrid->setColumnStretch(2, 1);
  spanPage->addLayout(spanGrid);
  progressLabel_ = new QLabel;
  progressLabel_->setObjectName("Lprocess");
  spanPage->addWidget(progressLabel_);
  spanReadingLabel_ = new QLabel;
  spanReadingLabel_->setObjectName("LreadingSpan");
  spanPage->addWidget(spanReadingLabel_);
  spanPage->addStretch();

  AddButtons("<< Back", "< Finish >");
  connect(nextButton_, &QPushButton::clicked, this, &CalibrationWizard::NextClicked);
  connect(finishButton_, &QPushButton::clicked, this, &CalibrationWizard::FinishClicked);
  // Only the zero button is the default: Enter elsewhere does not press a focused button.
  for (QPushButton* button : {backButton_, nextButton_, finishButton_, spanButton_}) button->setAutoDefault(false);

  // The gas is read every 2 s while the user waits on a step's page; a step blocks the window, so no reading
  // starts while one runs.
  readingTimer_.setInterval(2000);
  connect(&readingTimer_, &QTimer::timeout, this, &CalibrationWizard::StartReading);

  ShowPage(0);
  resize(520, 380);
}

CalibrationWizard::~CalibrationWizard() { FinishReading(); }

void CalibrationWizard::StartReading() {
  if (reading_.joinable() || portNumber.empty()) return;
  reading_ = std::thread([this, com = portNumber] {
    const std::optional<int32_t> ppm = ReadConcentration(com);
    QMetaObject::invokeMethod(
        this, [this, ppm] { ShowReading(ppm); }, Qt::QueuedConnection);
  });
}

void CalibrationWizard::ShowReading(std::optional<int32_t> ppm) {
  if (reading_.joinable()) reading_.join();
  if (ppm) {
    stability_.Add(std::chrono::duration<double>(std::chrono::steady_clock::now() - opened_).count(), *ppm);
  }
  const QString text = ppm ? QString::fromStdString(stability_.Text()) : QString("No reading from the sensor");
  zeroReadingLabel_->setText(text);
  spanReadingLabel_->setText(text);
}

void CalibrationWizard::FinishReading() {
  if (reading_.joinable()) reading_.join();
}

void CalibrationWizard::Log(const StepRecord& record, const std::optional<Stability>& stability) {
  if (log_.folder.empty()) return;
  CalibrationLogEntry entry;
  entry.time = acquisition::CurrentDayNumber();
  entry.serialNumber = log_.serialNumber;
  entry.firmware = log_.firmware;
  entry.record = record;
  entry.stability = stability;
  const acquisition::SystemRegionalFormat format;
  if (const std::optional<std::string> failure = AppendCalibrationLog(log_.folder, entry, format)) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                "The calibration log could not be written (" + *failure + "). The calibration itself is not affected.");
  }
}

// The concentration field takes digits, Backspace and Enter; every other key that types something
// (letters, signs, Ctrl+V) is dropped. Keys that type nothing (arrows, Delete) keep their editing role.
bool CalibrationWizard::eventFilter(QObject* watched, QEvent* event) {
  if (watched == concentrationEdit_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    const bool accepted = text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                          (text.size() == 1 && text[0] >= '0' && text[0] <= '9') || key->key() == Qt::Key_Backspace ||
                          key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (!accepted) return true;
    // Ctrl+V and Ctrl+X carry a control character on some platforms and none on others.
    if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CalibrationWizard::ShowPage(int index) {
  pages_->setCurrentIndex(index);
  if (index == 0) {
    readingTimer_.stop();
  } else if (!readingTimer_.isActive()) {
    readingTimer_.start();
  }
  switch (index) {
    case 0:
      backButton_->hide();
      nextButton_->show();
      nextButton_->setEnabled(true);
      nextButton_->setText("Next >>");
      finishButton_->hide();
      break;
    case 1:
      backButton_->hide();
      nextButton_->show();
      nextButton_->setEnabled(false);
      finishButton_->show();
      break;
    case 2:
      backButton_->show();
      nextButton_->hide();
      progressLabel_->clear();
      break;
  }
}

void CalibrationWizard::NextClicked() {
  if (nextButton_->text() == kFinishCaption) close();
  if (pages_->currentIndex() < kLastPage) ShowPage(pages_->currentIndex() + 1);
}

void CalibrationWizard::FinishClicked() { close(); }

void CalibrationWizard::ZeroClicked() {
  PauseReadings();
  const std::optional<Stability> stability = stability_.Current();
  const StepRecord record = ZeroStep(portNumber, *this, boxes_);
  Log(record, stability);
  ResumeReadings();
}

void CalibrationWizard::SpanClicked() {
  PauseReadings();
  const std::optional<Stability> stability = stability_.Current();
  if (const std::optional<StepRecord> record =
          SpanStep(portNumber, concentrationEdit_->text().toStdString(), *this, boxes_)) {
    Log(*record, stability);
  }
  ResumeReadings();
}

// A step's boxes turn the event loop while the step still holds the port: no reading may start then.
void CalibrationWizard::PauseReadings() {
  readingTimer_.stop();
  FinishReading();
}

void CalibrationWizard::ResumeReadings() {
  if (isVisible() && pages_->currentIndex() != 0) readingTimer_.start();
}

void CalibrationWizard::EnableNext() { nextButton_->setEnabled(true); }

void CalibrationWizard::SetNextCaption(const std::string& caption) {
  nextButton_->setText(QString::fromStdString(caption));
}

void CalibrationWizard::ShowProgress(const std::string& text) {
  progressLabel_->setText(QString::fromStdString(text));
  repaint();
}

}  // namespace quarn::calibration
