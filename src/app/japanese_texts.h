// The window's Japanese look whatever the session's locale: Qt's own
// translations (standard buttons, context menus), the window font with an
// explicit fallback so that a line is drawn in one face, and the file list's
// size, type and date texts. UI thread only.
#pragma once

#include <QFileInfo>
#include <QFont>
#include <QString>

namespace tovra {

// The title of the program's message boxes.
QString MessageBoxTitle();

// Loads Qt's Japanese translations into the application (once; later calls
// do nothing). False when the translation files are not installed.
bool InstallJapaneseTranslations();

// The windows' font: "ＭＳ Ｐゴシック" where it exists, otherwise one Japanese
// face for every glyph instead of a fallback per glyph.
QFont WindowFont();

// A file size as the file list shows it: "512 バイト", "1.5 KB", "12 MB".
QString FileSizeText(qint64 bytes);
// A file type as the file list shows it: "ファイル フォルダー", "HTML ファイル".
QString FileTypeText(const QFileInfo& info);
// A modification time as the file list shows it: "2026/12/08 09:05".
QString FileTimeText(const QDateTime& time);

}  // namespace tovra
