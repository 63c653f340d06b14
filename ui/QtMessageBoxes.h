#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "link/MessageBoxes.h"

namespace quarn::ui {

// Message boxes as Qt dialogs. Post may be called from any thread: the box is queued to the GUI thread.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
  BoxAnswer Show(BoxKind kind, BoxButtons buttons, const std::string& text) override;
  void Post(BoxKind kind, const std::string& text) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace quarn::ui
