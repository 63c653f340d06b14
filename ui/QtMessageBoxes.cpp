#include "QtMessageBoxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <memory>

namespace quarn::ui {

namespace {

QMessageBox::Icon IconFor(base::BoxKind kind) {
  switch (kind) {
    case base::BoxKind::Error: return QMessageBox::Critical;
    case base::BoxKind::Warning: return QMessageBox::Warning;
    case base::BoxKind::Information: return QMessageBox::Information;
    case base::BoxKind::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QString TitleFor(base::BoxKind kind) {
  switch (kind) {
    case base::BoxKind::Error: return "Error";
    case base::BoxKind::Warning: return "Warning";
    case base::BoxKind::Information: return "Information";
    case base::BoxKind::Question: return "Confirm";
  }
  return {};
}

// A question must be answered: Escape and the title bar's close box do nothing, so that no key or stray
// click answers No for the user (Qt would take the No button for them).
class QuestionBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

base::BoxAnswer QtMessageBoxes::Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) {
  const QString message = QString::fromStdString(text);
  std::unique_ptr<QMessageBox> box =
      buttons == base::BoxButtons::YesNo
          ? std::make_unique<QuestionBox>(IconFor(kind), TitleFor(kind), message, QMessageBox::Yes | QMessageBox::No,
                                          owner_.data())
          : std::make_unique<QMessageBox>(IconFor(kind), TitleFor(kind), message, QMessageBox::Ok, owner_.data());
  box->setTextFormat(Qt::PlainText);
  // A box waits for the user: never under the busy cursor of the action that raised it.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  int pressed = box->exec();
  // A question ended by anything but its buttons is asked again: only a pressed No means No.
  while (buttons == base::BoxButtons::YesNo && pressed != QMessageBox::Yes && pressed != QMessageBox::No) {
    pressed = box->exec();
  }
  if (busy) QApplication::restoreOverrideCursor();
  if (buttons == base::BoxButtons::Ok) return base::BoxAnswer::Ok;
  return pressed == QMessageBox::Yes ? base::BoxAnswer::Yes : base::BoxAnswer::No;
}

void QtMessageBoxes::Post(base::BoxKind kind, const std::string& text) {
  // Queued to the GUI thread; the worker goes on at once. Tied to the owner window, so a box still queued
  // when the window is gone is dropped instead of reaching a destroyed object.
  QObject* context = owner_ ? static_cast<QObject*>(owner_.data()) : QCoreApplication::instance();
  {
    std::lock_guard lock(mutex_);
    posted_.emplace_back(kind, text);
  }
  QMetaObject::invokeMethod(
      context, [this] { ShowPosted(); }, Qt::QueuedConnection);
}

void QtMessageBoxes::ShowPosted() {
  // An open box runs its own event loop, which would otherwise show the next box on top of it.
  if (showingPosted_) return;
  showingPosted_ = true;
  for (;;) {
    std::pair<base::BoxKind, std::string> next;
    {
      std::lock_guard lock(mutex_);
      if (posted_.empty()) break;
      next = std::move(posted_.front());
      posted_.pop_front();
    }
    Show(next.first, base::BoxButtons::Ok, next.second);
  }
  showingPosted_ = false;
}

}  // namespace quarn::ui
