#include "widgets/WizardFrame.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgWidget>
#include <QVBoxLayout>

#include "widgets/Heading.h"

namespace quarn::widgets {

namespace {

constexpr double kHeadingScale = 1.3;

QPushButton* Button(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  return button;
}

}  // namespace

QWidget* Picture(const char* resource, QSize size) {
  auto* picture = new QSvgWidget(resource);
  picture->setFixedSize(size);
  return picture;
}

WizardFrame::WizardFrame(const char* objectName, const QString& title, QWidget* parent) : QDialog(parent) {
  setObjectName(objectName);
  setWindowTitle(title);
  pages_ = new QStackedWidget;
  pages_->setObjectName("Page");
}

QVBoxLayout* WizardFrame::AddPage(const QString& heading) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  QLabel* label = Heading(heading, kHeadingScale);
  label->setWordWrap(true);
  layout->addWidget(label);
  pages_->addWidget(page);
  return layout;
}

void WizardFrame::AddButtons(const QString& backCaption, const QString& finishCaption) {
  backButton_ = Button("bBack", backCaption);
  backButton_->hide();
  nextButton_ = Button("bNext", "Next >>");
  connect(backButton_, &QPushButton::clicked, this, &WizardFrame::BackClicked);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(backButton_);
  buttons->addWidget(nextButton_);
  if (!finishCaption.isEmpty()) {
    finishButton_ = Button("bFinish", finishCaption);
    buttons->addWidget(finishButton_);
  }

  // The pages join the window here, after their controls: the tab order runs through a page, then the buttons.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_, 1);
  layout->addLayout(buttons);
}

void WizardFrame::BackClicked() {
  if (pages_->currentIndex() > 0) ShowPage(pages_->currentIndex() - 1);
}

void WizardFrame::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowPage(0);
}

void WizardFrame::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}

}  // namespace quarn::widgets
