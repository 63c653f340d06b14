#include "QtMessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

namespace quarn::ui {

namespace {

QMessageBox::Icon IconFor(BoxKind kind) {
  switch (kind) {
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QString TitleFor(BoxKind kind) {
  switch (kind) {
    case BoxKind::Error: return "Error";
    case BoxKind::Warning: return "Warning";
    case BoxKind::Information: return "Information";
    case BoxKind::Question: return "Confirm";
  }
  return {};
}

}  // namespace

BoxAnswer QtMessageBoxes::Show(BoxKind kind, BoxButtons buttons, const std::string& text) {
  QMessageBox box(IconFor(kind), TitleFor(kind), QString::fromStdString(text),
                  buttons == BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  owner_.data());
  box.setTextFormat(Qt::PlainText);
  const int pressed = box.exec();
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  return pressed == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

void QtMessageBoxes::Post(BoxKind kind, const std::string& text) {
  // Queued to the GUI thread; the worker goes on at once.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [this, kind, text] { Show(kind, BoxButtons::Ok, text); },
      Qt::QueuedConnection);
}

}  // namespace quarn::ui
