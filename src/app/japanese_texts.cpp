#include "app/japanese_texts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/qt_text.h"

namespace tovra {

QString MessageBoxTitle() { return QStr("ホームページアップローダ"); }

bool InstallJapaneseTranslations() {
  static bool installed = false;
  if (installed) return true;
  // qtbase holds the standard buttons, the text edits' context menus and
  // the file dialogs; qt_ja adds the other modules' catalogues.
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool any = false;
  for (const char* catalogue : {"qtbase_ja", "qt_ja"}) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QString::fromLatin1(catalogue), folder) && QCoreApplication::installTranslator(translator)) {
      any = true;
    } else {
      delete translator;
    }
  }
  installed = any;
  return any;
}

QFont WindowFont() {
  QFont font;
  // Without a named second family a missing first one is replaced glyph by
  // glyph, and kanji and kana then come from different faces.
  font.setFamilies({QStr("ＭＳ Ｐゴシック"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("VL PGothic")});
  font.setPointSize(9);
  return font;
}

QString FileSizeText(qint64 bytes) {
  if (bytes < 1024) return QString::number(bytes) + QStr(" バイト");
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  // One decimal below ten, as a whole number above.
  const int decimals = value < 10.0 ? 1 : 0;
  return QString::number(value, 'f', decimals) + ' ' + QString::fromLatin1(kUnits[unit]);
}

QString FileTypeText(const QFileInfo& info) {
  if (info.isRoot()) return QStr("ドライブ");
  if (info.isDir()) return QStr("ファイル フォルダー");
  const QString suffix = info.suffix();
  if (suffix.isEmpty()) return QStr("ファイル");
  return suffix.toUpper() + QStr(" ファイル");
}

QString FileTimeText(const QDateTime& time) { return time.toString(QStringLiteral("yyyy/MM/dd HH:mm")); }

}  // namespace tovra
