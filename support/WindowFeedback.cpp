#include "support/WindowFeedback.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace quarn::support {

NetworkFeedback BusyCursorFeedback() {
  NetworkFeedback feedback;
  feedback.busy = [](bool busy) {
    if (busy) {
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
      QGuiApplication::restoreOverrideCursor();
    }
    PaintPending();
  };
  return feedback;
}

void PaintPending() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace quarn::support
