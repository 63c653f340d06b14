#include <QApplication>

#include "ui/AppSetup.h"
#include "ui/TFormM.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  quarn::ui::SetUpApplication();
  quarn::ui::TFormM FormM;
  FormM.show();
  return app.exec();
}
