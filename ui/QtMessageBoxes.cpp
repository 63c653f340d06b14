#include "QtMessageBoxes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

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

}  // namespace

base::BoxAnswer QtMessageBoxes::Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) {
  QMessageBox box(IconFor(kind), TitleFor(kind), QString::fromStdString(text),
                  buttons == base::BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  owner_.data());
  box.setTextFormat(Qt::PlainText);
  // A box waits for the user: never under the busy cursor of the action that raised it.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int pressed = box.exec();
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
