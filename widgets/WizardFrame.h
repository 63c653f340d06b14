#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace quarn::widgets {

// What the port search and the calibration wizards share: stacked pages, each under a heading, above a
// right-aligned row of Back, Next and (where the wizard has one) Finish. Every show starts at page 0, and
// Escape does nothing: only the close box and the buttons end a wizard, so a stray key press does not
// abandon it half-way. A wizard adds its pages, then its buttons, then shows page 0.
class WizardFrame : public QDialog {
  Q_OBJECT

 public slots:
  // One page back; nothing on the first.
  void BackClicked();

 protected:
  WizardFrame(const char* objectName, const QString& title, QWidget* parent);

  // A new last page under the heading; the wizard fills the returned layout.
  QVBoxLayout* AddPage(const QString& heading);
  // The button row under the pages. Back starts hidden; Finish is made only with a caption. Next and Finish
  // are the wizard's to connect.
  void AddButtons(const QString& backCaption, const QString& finishCaption = {});

  // Puts a page up and sets the buttons for it.
  virtual void ShowPage(int index) = 0;

  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  QStackedWidget* pages_ = nullptr;
  QPushButton* backButton_ = nullptr;
  QPushButton* nextButton_ = nullptr;
  QPushButton* finishButton_ = nullptr;  // null in a wizard without Finish
};

// A picture for a wizard page: an SVG resource shown at a fixed size.
QWidget* Picture(const char* resource, QSize size);

}  // namespace quarn::widgets
