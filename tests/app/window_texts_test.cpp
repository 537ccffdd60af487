// The window's texts whatever the session's locale: Qt's standard texts in
// Japanese, the file list's size, type and time texts, one face for a
// Japanese line, and status and error texts on one line.
#include <QAbstractItemModel>
#include <QDateTime>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextLayout>
#include <QTimer>
#include <QtTest/QtTest>

#include "app/Warning01.h"
#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/japanese_texts.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::StartWindow;

namespace {

// The text of a column of the file list's row for `name`; empty if absent.
QString ListText(TShellFileList* list, const std::string& name, int column) {
  QAbstractItemModel* model = list->model();
  QModelIndex root = list->rootIndex();
  for (int row = 0; row < model->rowCount(root); ++row) {
    if (model->index(row, 0, root).data().toString() == QString::fromStdString(name))
      return model->index(row, column, root).data().toString();
  }
  return {};
}

}  // namespace

class WindowTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void qtStandardTextsAreJapanese_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::newRow("message box Cancel") << "QPlatformTheme"
                                        << "Cancel";
    QTest::newRow("memo menu Copy") << "QWidgetTextControl"
                                    << "&Copy";
    QTest::newRow("memo menu Select All") << "QWidgetTextControl"
                                          << "Select All";
  }

  void qtStandardTextsAreJapanese() {
    QFETCH(QString, context);
    QFETCH(QString, english);
    // The program's modules install them, whatever LANG says.
    qputenv("LANG", "C");
    AppFolderFixture fx;
    TApplicationModules modules;
    QString text = QCoreApplication::translate(context.toLatin1().constData(), english.toLatin1().constData());
    QVERIFY2(text != english, qPrintable(text));
    QVERIFY2(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; }), qPrintable(text));
  }

  void sizeTexts_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << QStr("0 バイト");
    QTest::newRow("under a kilobyte") << qint64(1023) << QStr("1023 バイト");
    QTest::newRow("one kilobyte") << qint64(1024) << "1.0 KB";
    QTest::newRow("one and a half") << qint64(1536) << "1.5 KB";
    QTest::newRow("tens of kilobytes") << qint64(12 * 1024 + 100) << "12 KB";
    QTest::newRow("megabytes") << qint64(3 * 1024 * 1024) << "3.0 MB";
    QTest::newRow("gigabytes") << qint64(25) * 1024 * 1024 * 1024 << "25 GB";
  }

  void sizeTexts() {
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FileSizeText(bytes), text);
  }

  void fileListShowsJapaneseTypesSizesAndTimes() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/index.html", std::string(1536, 'x'));
    fx.dir.Write("site/README", "abc");
    fx.AddSite("S", root);
    TApplicationModules modules;
    StartWindow(modules);
    TShellFileList* list = modules.Form1()->JamShellList1;
    list->SetFilter("*");
    QTRY_COMPARE(list->ShownNames().size(), size_t(2));
    struct Row {
      const char* name;
      QString size, type;
    } rows[] = {{"index.html", "1.5 KB", QStr("HTML ファイル")}, {"README", QStr("3 バイト"), QStr("ファイル")}};
    for (const Row& row : rows) {
      QCOMPARE(ListText(list, row.name, 1), row.size);
      QCOMPARE(ListText(list, row.name, 2), row.type);
      QCOMPARE(ListText(list, row.name, 3),
               QFileInfo(QString::fromStdString(root + "/" + row.name)).lastModified().toString("yyyy/MM/dd HH:mm"));
    }
    QCOMPARE(FileTypeText(QFileInfo(QString::fromStdString(root))), QStr("ファイル フォルダー"));
    QCOMPARE(FileTypeText(QFileInfo("/")), QStr("ドライブ"));
  }

  void aMemoLineIsDrawnInOneFace_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("kana") << QStr("ファイル転送ステータス");
    QTest::newRow("kanji and kana") << QStr("依存ファイル確認中");
    QTest::newRow("kanji") << QStr("転送完了");
    QTest::newRow("latin and kana") << QStr("index.html 転送中");
  }

  void aMemoLineIsDrawnInOneFace() {
    QFETCH(QString, line);
    if (!QFontDatabase::families().contains("Noto Sans CJK JP")) QSKIP("fonts-noto-cjk is not installed");
    AppFolderFixture fx;
    TApplicationModules modules;
    QFont font = modules.Form1()->Memo1->font();
    QTextLayout layout(line, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList faces;
    for (const QGlyphRun& run : layout.glyphRuns()) faces << run.rawFont().familyName();
    faces.removeDuplicates();
    QCOMPARE(faces, QStringList{"Noto Sans CJK JP"});
  }

  void singleLine_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("reply error") << QByteArray("550 Permission denied.\r\n") << QByteArray("550 Permission denied.");
    QTest::newRow("socket error") << QByteArray("Socket Error # 10061\r\nConnection refused.")
                                  << QByteArray("Socket Error # 10061 Connection refused.");
    QTest::newRow("several replies") << QByteArray("421 a\r\n\r\n421 b\n") << QByteArray("421 a 421 b");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray("a b");
    QTest::newRow("leading break") << QByteArray("\r\nx") << QByteArray("x");
    // 0x8A 0x5C is one character: its second byte is no separator.
    QTest::newRow("CP932 text") << QByteArray("\x93\x5d\x91\x97\r\n\x8a\x5c")
                                << QByteArray("\x93\x5d\x91\x97 \x8a\x5c");
    QTest::newRow("one line") << QByteArray("ok") << QByteArray("ok");
  }

  void singleLine() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, line);
    QCOMPARE(QByteArray::fromStdString(SingleLine(text.toStdString())), line);
  }

  // The missing-files dialog labels and counts each reason apart and opens
  // with its long lines shown from their start.
  void missingFilesDialogCountsEachReasonApart() {
    TMissingFiles missing;
    const std::string deep = "/home/u/site/" + std::string(300, 'd') + "/a.gif";
    missing.Add(deep, TMissingReason::NotOnDisk);
    missing.Add("/home/u/secret.txt", TMissingReason::OutsideSite);
    missing.Add(TMissingFile{"/home/u/site/Img/A.GIF", TMissingReason::CaseDiffers, "/home/u/site/index.html",
                             "/home/u/site/img/a.gif"});
    TfrmWarning01 dialog;
    bool scrolledLeft = false;
    QTimer::singleShot(50, &dialog, [&] {
      scrolledLeft =
          dialog.Memo1->horizontalScrollBar()->maximum() > 0 && dialog.Memo1->horizontalScrollBar()->value() == 0;
      dialog.reject();
    });
    QVERIFY(!dialog.Ask(missing));
    QVERIFY(scrolledLeft);
    QCOMPARE(dialog.Label1->text(), QStr("以下の依存ファイルがローカルディスクに存在しません。"));
    QCOMPARE(dialog.Label2->text(), QStr("ローカルに無い 1 件、サイト外 1 件、大文字小文字違い 1 件"));
    const QStringList lines = dialog.Memo1->toPlainText().split('\n');
    QCOMPARE(lines, (QStringList{QStr("■ ローカルに無い 1 件"), QStr(deep), QStr("■ サイト外 1 件"),
                                 QStr("/home/u/secret.txt (サイトの外: 送信しません)"), QStr("■ 大文字小文字違い 1 件"),
                                 QStr(missing.Entries()[2].Line())}));

    TMissingFiles outsideOnly;
    outsideOnly.Add("/home/u/secret.txt", TMissingReason::OutsideSite);
    dialog.Fill(outsideOnly);
    QCOMPARE(dialog.Label1->text(), QStr("以下の依存ファイルは送信できません。"));
    QCOMPARE(dialog.Label2->text(), QStr("ローカルに無い 0 件、サイト外 1 件"));
    QCOMPARE(dialog.Memo1->toPlainText(), QStr("/home/u/secret.txt (サイトの外: 送信しません)"));
  }
};

QTEST_MAIN(WindowTextsTest)
#include "window_texts_test.moc"
