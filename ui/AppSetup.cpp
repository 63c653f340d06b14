#include "AppSetup.h"

#include <QApplication>

namespace quarn::ui {

void SetUpApplication() { QApplication::setApplicationName("QUARN Evaluation Software"); }

}  // namespace quarn::ui
