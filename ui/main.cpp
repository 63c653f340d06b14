#include <QApplication>

#include "ui/AppSetup.h"
#include "ui/MainWindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  quarn::ui::SetUpApplication();
  quarn::ui::MainWindow window;
  window.show();
  return app.exec();
}
