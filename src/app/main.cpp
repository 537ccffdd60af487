// tovra: the desktop application. Creates the window and the modules in
// their fixed order and runs the event loop until the main window closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/qt_text.h"

int main(int argc, char** argv) {
  using namespace tovra;
  std::setlocale(LC_CTYPE, "");
  QApplication app(argc, argv);
  // The toolkit's own texts (Cancel, Abort, Yes, ...) in Japanese like every
  // other text of the window, whatever the desktop's language.
  QTranslator toolkitTexts;
  if (toolkitTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&toolkitTexts);
  }
  QApplication::setApplicationDisplayName(QStr("ホームページアップローダ"));
  TApplicationModules modules;
  modules.Form1()->show();
  return app.exec();
}
