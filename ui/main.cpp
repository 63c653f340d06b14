#include <QApplication>

#include "ui/TFormM.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("QUARN Evaluation Software");
  QApplication::setApplicationDisplayName("QUARN Evaluation Software");
  quarn::ui::TFormM FormM;
  FormM.show();
  return app.exec();
}
