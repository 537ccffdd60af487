// tovra: the desktop application. Creates the window and the modules in
// their fixed order and runs the event loop until the main window closes.
#include <QApplication>
#include <clocale>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "platform/secret_store.h"

int main(int argc, char** argv) {
  using namespace tovra;
  std::setlocale(LC_CTYPE, "");
  QApplication app(argc, argv);
  // A locked keyring may be unlocked through the desktop's own prompt.
  AllowSecretStorePrompts(true);
  TApplicationModules modules;
  modules.Form1()->show();
  return app.exec();
}
