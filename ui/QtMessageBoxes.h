#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "base/MessageBoxes.h"

namespace quarn::ui {

// Message boxes as Qt dialogs, shown under the normal cursor. Post may be called from any thread: the box is queued to
// the GUI thread and posted boxes are shown one after the other, in the order they were raised.
class QtMessageBoxes : public base::MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override;
  void Post(base::BoxKind kind, const std::string& text) override;

 private:
  // Shows the posted boxes in order; a box posted while one is open waits for it to close.
  void ShowPosted();

  QPointer<QWidget> owner_;
  std::mutex mutex_;  // guards posted_
  std::deque<std::pair<base::BoxKind, std::string>> posted_;
  bool showingPosted_ = false;  // GUI thread only
};

}  // namespace quarn::ui
