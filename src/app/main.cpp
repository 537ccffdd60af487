// tovra: the desktop application. Creates the window and the modules in
// their fixed order and runs the event loop until the main window closes.
#include <QApplication>
#include <clocale>

#include "app/WebFTP00.h"
#include "app/app_modules.h"

int main(int argc, char** argv) {
  using namespace tovra;
  std::setlocale(LC_CTYPE, "");
  QApplication app(argc, argv);
  TApplicationModules modules;
  modules.Form1()->show();
  return app.exec();
}
