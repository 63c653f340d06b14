#include "TFormCalibr2.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgWidget>
#include <QVBoxLayout>

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

QLabel* Heading(const char* text) {
  QLabel* label = Paragraph(text);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.3);
  label->setFont(font);
  return label;
}

QPushButton* Button(const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  button->setObjectName(name);
  return button;
}

}  // namespace

TFormCalibr2::TFormCalibr2(std::string com, std::string address, int32_t zero, int32_t scale,
                           MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent),
      FCom(std::move(com)),
      FNN(std::move(address)),
      FZero(zero),
      FScale(scale),
      boxes_(boxes) {
  RegisterCalibrationImages();
  setObjectName("FormCalibr2");
  setWindowTitle("Calibration");

  Page = new QStackedWidget;
  Page->setObjectName("Page");

  auto* page0 = new QWidget;
  auto* layout0 = new QVBoxLayout(page0);
  layout0->addWidget(Heading("Welcome to QUARN sensor calibration procedure"));
  auto* picture = new QSvgWidget(":/calibration/converter.svg");
  picture->setFixedSize(256, 256);
  layout0->addWidget(picture, 0, Qt::AlignHCenter);
  layout0->addStretch();

  auto* page1 = new QWidget;
  auto* layout1 = new QVBoxLayout(page1);
  layout1->addWidget(Heading("Step 1"));
  layout1->addWidget(Paragraph("Insure that gas chamber filled with ZERO gas and press “ZERO” button below"));
  auto* zeroRow = new QHBoxLayout;
  zeroRow->addWidget(Caption("Send command “ZERO” "));
  bZero = Button("bZero", "Send ZERO");
  bZero->setDefault(true);
  connect(bZero, &QPushButton::clicked, this, &TFormCalibr2::bZeroClick);
  zeroRow->addWidget(bZero);
  zeroRow->addStretch();
  layout1->addLayout(zeroRow);
  layout1->addStretch();

  auto* page2 = new QWidget;
  auto* layout2 = new QVBoxLayout(page2);
  layout2->addWidget(Heading("Step 2"));
  layout2->addWidget(Paragraph("Please fill gas chamber with SPAN gas. Enter gas concentration below"));
  auto* spanGrid = new QGridLayout;
  spanGrid->addWidget(Caption("Gas concentration"), 0, 0);
  eCalb = new QLineEdit("0");
  eCalb->setObjectName("eCalb");
  eCalb->setMaxLength(4);
  eCalb->setFixedWidth(80);
  eCalb->installEventFilter(this);
  spanGrid->addWidget(eCalb, 0, 1);
  spanGrid->addWidget(Caption("Send command calibration"), 1, 0);
  bCalb = Button("bCalb", "Send");
  connect(bCalb, &QPushButton::clicked, this, &TFormCalibr2::bCalbClick);
  spanGrid->addWidget(bCalb, 1, 1);
  spanGrid->setColumnStretch(2, 1);
  layout2->addLayout(spanGrid);
  Lprocess = new QLabel;
  Lprocess->setObjectName("Lprocess");
  layout2->addWidget(Lprocess);
  layout2->addStretch();

  Page->addWidget(page0);
  Page->addWidget(page1);
  Page->addWidget(page2);

  bBack = Button("bBack", "<< Back");
  bBack->hide();
  bNext = Button("bNext", "Next >>");
  bFinish = Button("bFinish", "< Finish >");
  connect(bBack, &QPushButton::clicked, this, &TFormCalibr2::bBackClick);
  connect(bNext, &QPushButton::clicked, this, &TFormCalibr2::bNextClick);
  connect(bFinish, &QPushButton::clicked, this, &TFormCalibr2::bFinishClick);
  // Only the zero button is the default: Enter elsewhere does not press a focused button.
  for (QPushButton* button : {bBack, bNext, bFinish, bCalb}) button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bBack);
  buttons->addWidget(bNext);
  buttons->addWidget(bFinish);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Page, 1);
  layout->addLayout(buttons);

  ShowPage(0);
  resize(520, 380);
}

TFormCalibr2::~TFormCalibr2() = default;

void TFormCalibr2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowPage(0);
}

// Only the close box and the buttons end the wizard: Escape does nothing.
void TFormCalibr2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}

// The concentration field takes digits, Backspace and Enter; every other key that types something
// (letters, signs, Ctrl+V) is dropped. Keys that type nothing (arrows, Delete) keep their editing role.
bool TFormCalibr2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == eCalb && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    const bool accepted = text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                          (text.size() == 1 && text[0] >= '0' && text[0] <= '9') ||
                          key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
                          key->key() == Qt::Key_Enter;
    if (!accepted) return true;
    // Ctrl+V and Ctrl+X carry a control character on some platforms and none on others.
    if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TFormCalibr2::ShowPage(int index) {
  Page->setCurrentIndex(index);
  switch (index) {
    case 0:
      bBack->hide();
      bNext->show();
      bNext->setEnabled(true);
      bNext->setText("Next >>");
      bFinish->hide();
      break;
    case 1:
      bBack->hide();
      bNext->show();
      bNext->setEnabled(false);
      bFinish->show();
      break;
    case 2:
      bBack->show();
      bNext->hide();
      Lprocess->clear();
      break;
  }
}

void TFormCalibr2::bNextClick() {
  if (bNext->text() == kFinishCaption) close();
  if (Page->currentIndex() < kLastPage) ShowPage(Page->currentIndex() + 1);
}

void TFormCalibr2::bBackClick() {
  if (Page->currentIndex() > 0) ShowPage(Page->currentIndex() - 1);
}

void TFormCalibr2::bFinishClick() { close(); }

void TFormCalibr2::bZeroClick() { ZeroStep(FCom, *this, boxes_); }

void TFormCalibr2::bCalbClick() { SpanStep(FCom, eCalb->text().toStdString(), *this, boxes_); }

void TFormCalibr2::EnableNext() { bNext->setEnabled(true); }

void TFormCalibr2::SetNextCaption(const std::string& caption) {
  bNext->setText(QString::fromStdString(caption));
}

void TFormCalibr2::ShowProgress(const std::string& text) {
  Lprocess->setText(QString::fromStdString(text));
  repaint();
}

}  // namespace quarn::calibration
