// The main window where a user can get stuck or be misled, on the offscreen
// platform: a site whose root folder was deleted, an application folder that
// cannot be written, uploading without a site or a selection, the status
// memo following its lines, a browser that cannot be started, the password
// field, and the placement of the first start.
#include <sys/stat.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest/QtTest>
#include <filesystem>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/IniGT.h"
#include "sites/site_list.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "update/update_check.h"
#include "upload/upload_job.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::MemoLines;
using tovra::test::StartWindow;
using tovra::test::WhenModal;

namespace {

void SelectSite(TForm1* form, const std::string& site) {
  int index = form->ComboBox1->findText(QStr(site), Qt::MatchExactly);
  QVERIFY(index >= 0);
  form->ComboBox1->setCurrentIndex(index);
  form->Guarded([form] { form->ComboBox1Select(); });  // as the selector's signal does
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

using test::ModeOf;

}  // namespace

class WindowRepairTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void aSiteWithoutItsRootCanBeRepaired() {
    AppFolderFixture fx;
    fx.dir.Write("good/index.html", "<p>g</p>");
    fx.AddSite("良い", fx.dir.Sub("good"), 2101);
    fx.AddSite("壊れた", fx.dir.Sub("broken"), 2102);
    std::filesystem::remove_all(fx.dir.Sub("broken"));
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    form->ApplicationEvents1Deactivate();  // the managed file list to compare with
    fx.dir.Write("good/new.html", "<p>n</p>");

    // Picked: reported, loaded whole (nothing of the good site stays), no list shown.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    SelectSite(form, "壊れた");
    auto shown = TMessageBoxes::TakeShown();
    QCOMPARE(shown.size(), size_t(1));
    QVERIFY2(StartsWith(shown[0], "パス設定エラー : \"" + fx.dir.Sub("broken") + "\""), shown[0].c_str());
    QCOMPARE(modules.SightEdit()->Profile().WebPort, 2102);
    QCOMPARE(form->JamShellList1->Folder(), std::string());
    QVERIFY(form->JamShellList1->viewport()->isHidden());
    // The upload refuses instead of sending the good site's files.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->BitBtn1Click();
    QVERIFY(StartsWith(TMessageBoxes::TakeShown().at(0), "パス設定エラー"));
    QVERIFY(form->Upload().UploadList().Empty());
    QVERIFY(form->BitBtn1->isEnabled());

    // The update check passes over it with one line and checks the other site.
    form->btnUpdateCheckClick();
    QVERIFY(form->UpdatePanelVisible());
    QCOMPARE(form->CheckListBox1->count(), 1);
    QCOMPARE(ToCp932(form->CheckListBox1->item(0)->text()), fx.dir.Sub("good/new.html"));
    QCOMPARE(MemoLines(form).filter(QStr("「壊れた」")).size(), 1);
    QVERIFY(TMessageBoxes::TakeShown().empty());
    form->btUpdateCancelClick();

    // The dialog opens on it, shows the root as missing, and takes a new one.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    SelectSite(form, "壊れた");
    TMessageBoxes::TakeShown();
    fx.dir.Write("moved/top.html", "");
    bool missingShown = false;
    WhenModal([&](QWidget*) {
      TfrmSightEdit* dialog = modules.SightEdit();
      missingShown =
          dialog->lblRootMissing->isVisible() && ToCp932(dialog->LocalRootDir->text()) == fx.dir.Sub("broken");
      dialog->ShellTreeView1->SetSelectedFolder(fx.dir.Sub("moved"));
      dialog->Button1->click();
    });
    form->Button3Click();
    QVERIFY(missingShown);
    QVERIFY(!modules.SightEdit()->isVisible());
    QCOMPARE(form->CurrentSiteRoot, fx.dir.Sub("moved"));
    QTRY_COMPARE(form->JamShellList1->ShownNames(), std::vector<std::string>{"top.html"});
    QCOMPARE(modules.SightEdit()->Profile().WebPort, 2102);
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void aSiteWithoutItsRootCanBeDeleted() {
    AppFolderFixture fx;
    fx.AddSite("良い", fx.dir.Sub("good"));
    fx.AddSite("消す", fx.dir.Sub("gone"));
    std::filesystem::remove_all(fx.dir.Sub("gone"));
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    SelectSite(form, "消す");
    WhenModal([&](QWidget*) {
      modules.SightEdit()->edName->clear();
      TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);  // "サイト名称「消す」を削除します。"
      modules.SightEdit()->Button1->click();
    });
    form->Button3Click();
    QVERIFY(!modules.SightEdit()->isVisible());
    QCOMPARE(form->ComboBox1->findText(QStr("消す")), -1);
    QCOMPARE(form->CurrentSiteRoot, fx.dir.Sub("good"));
    QVERIFY(!FileExists(ProfileFileName("消す")));
  }

  void theSiteDialogAlwaysCloses_data() {
    QTest::addColumn<QString>("appFolder");  // under the test folder
    QTest::addColumn<bool>("writable");
    QTest::newRow("missing folder is created") << "new/app" << true;
    QTest::newRow("folder under a file") << "file/app" << false;
  }

  void theSiteDialogAlwaysCloses() {
    QFETCH(QString, appFolder);
    QFETCH(bool, writable);
    AppFolderFixture fx;
    fx.dir.Write("file", "x");
    const std::string folder = fx.dir.Sub(appFolder.toStdString());
    test::ScopedEnv override("TOVRA_APP_FOLDER", folder);
    TApplicationModules modules;
    TfrmSightEdit* dialog = modules.SightEdit();
    if (!writable) TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    // The first start opens the dialog on "新規登録"; CANCEL closes it.
    WhenModal([&](QWidget*) { dialog->Button2->click(); });
    StartWindow(modules);
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(DirectoryExists(folder), writable);
    if (writable) QCOMPARE(ModeOf(folder), 0700u);
    auto shown = TMessageBoxes::TakeShown();
    QCOMPARE(shown.size(), size_t(writable ? 0 : 1));
    if (!writable) QVERIFY2(StartsWith(shown[0], "アプリケーションフォルダー \"" + folder + "\""), shown[0].c_str());
    // Esc and the close box close it as well, without a word.
    for (auto close : {+[](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); }, +[](QWidget* d) { d->close(); }}) {
      WhenModal(close);
      modules.Form1()->Button3Click();
      QVERIFY(!dialog->isVisible());
    }
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void uploadNeedsASiteAndASelection_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<bool>("selectFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("new site entry") << QStr("新規登録") << true << QStr("アップロードするサイトを選択してください。");
    QTest::newRow("nothing selected") << QStr("A") << false << QStr("ファイルを選択してください。");
  }

  void uploadNeedsASiteAndASelection() {
    QFETCH(QString, site);
    QFETCH(bool, selectFile);
    QFETCH(QString, message);
    AppFolderFixture fx;
    fx.dir.Write("a/index.html", "");
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames(), std::vector<std::string>{"index.html"});
    if (selectFile) form->JamShellList1->SelectNames({"index.html"});
    SelectSite(form, ToCp932(site));
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->BitBtn1Click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{ToCp932(message)});
    QVERIFY(form->Upload().UploadList().Empty());
    QVERIFY(MemoLines(form).filter(QStr("依存ファイル確認中")).isEmpty());
    QVERIFY(form->BitBtn1->isEnabled());
  }

  void theMemoFollowsItsNewestLine() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QScrollBar* bar = form->Memo1->verticalScrollBar();
    // Lines long enough for the horizontal bar, which takes height.
    for (int i = 0; i < 200; ++i) form->AppendStatus("line " + std::to_string(i) + std::string(i % 7 * 40, 'x'));
    QTest::qWait(50);  // laid out
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Scrolled up to read: the new line does not pull the view away.
    bar->setValue(0);
    form->AppendStatus("転送完了");
    QTest::qWait(50);
    QCOMPARE(bar->value(), 0);
    bar->setValue(bar->maximum());
    for (int i = 0; i < 20; ++i) form->AppendStatus("中止しています…");
    QTest::qWait(50);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(form->Memo1->cursorForPosition(form->Memo1->viewport()->rect().bottomLeft() - QPoint(0, 4))
                .block()
                .text()
                .startsWith(QStr("中止しています")));
    // A long line can be scrolled to its end.
    form->AppendStatus(std::string(400, 'x'));
    QVERIFY(form->Memo1->horizontalScrollBar()->maximum() > 0);
  }

  void webCheckSaysWhenNoBrowserStarts_data() {
    QTest::addColumn<QString>("xdgOpen");  // the script's body; empty: no xdg-open at all
    QTest::addColumn<bool>("said");
    QTest::newRow("missing") << "" << true;
    QTest::newRow("failing") << "exit 3" << true;
    QTest::newRow("opening") << "exit 0" << false;
  }

  void webCheckSaysWhenNoBrowserStarts() {
    QFETCH(QString, xdgOpen);
    QFETCH(bool, said);
    AppFolderFixture fx;
    fx.dir.Write("a/index.html", "");
    fx.AddSite("A", fx.dir.Sub("a"), 21, "http://example.jp/");
    fx.dir.Write("bin/.keep", "");
    if (!xdgOpen.isEmpty()) {
      fx.dir.Write("bin/xdg-open", "#!/bin/sh\n" + xdgOpen.toStdString() + "\n");
      ::chmod(ToOsPath(fx.dir.Sub("bin/xdg-open")).c_str(), 0755);
    }
    test::ScopedEnv path("PATH", fx.dir.Sub("bin"));
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames(), std::vector<std::string>{"index.html"});
    form->JamShellList1->SelectNames({"index.html"});
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnWebCheckClick();
    auto shown = TMessageBoxes::TakeShown();
    QCOMPARE(shown.size(), size_t(said ? 1 : 0));
    if (said) QVERIFY2(shown[0].find("\nhttp://example.jp/index.html") != std::string::npos, shown[0].c_str());
  }

  void thePasswordShowsOnlyWhileHeld() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    auto* show = dialog->findChild<QToolButton*>("WebPasswdShow");
    QVERIFY(show != nullptr);
    QCOMPARE(dialog->WebPasswd->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog->WebPasswd->text(), QString("secret"));
    emit show->pressed();
    QCOMPARE(dialog->WebPasswd->echoMode(), QLineEdit::Normal);
    emit show->released();
    QCOMPARE(dialog->WebPasswd->echoMode(), QLineEdit::Password);
  }

  void aFileWrittenAgainShowsItsNewSize() {
    AppFolderFixture fx;
    fx.dir.Write("a/index.html", "");
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    TShellFileList* list = modules.Form1()->JamShellList1;
    QTRY_COMPARE(list->ShownNames(), std::vector<std::string>{"index.html"});
    const QModelIndex size = list->model()->index(0, 1, list->rootIndex());
    QCOMPARE(size.data().toString(), QStr("0 バイト"));
    fx.dir.Write("a/index.html", std::string(700, 'x'));  // written again in place
    QCOMPARE(size.data().toString(), QStr("700 バイト"));
    // Every column is as wide as its contents.
    for (int column = 0; column < list->model()->columnCount(); ++column)
      QCOMPARE(list->header()->sectionResizeMode(column), QHeaderView::ResizeToContents);
    // The key file can be browsed for where a key file is used.
    QToolButton* browse = modules.SightEdit()->findChild<QToolButton*>("btnBrowseKeyFile");
    QVERIFY(browse != nullptr);
    QVERIFY(!browse->isEnabled());  // an FTP site
  }

  void theTitleBarStartsOnTheScreen_data() {
    QTest::addColumn<QRect>("stored");  // empty: the first start
    QTest::addColumn<bool>("centred");
    QTest::addColumn<int>("top");  // expected when not centred
    QTest::newRow("first start") << QRect() << true << 0;
    QTest::newRow("contents at the top") << QRect(0, 0, 700, 380) << false << 32;
    QTest::newRow("above the screen") << QRect(40, -200, 700, 380) << false << 32;
    QTest::newRow("title bar on screen") << QRect(40, 60, 700, 380) << false << 60;
  }

  void theTitleBarStartsOnTheScreen() {
    QFETCH(QRect, stored);
    QFETCH(bool, centred);
    QFETCH(int, top);
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    if (!stored.isEmpty()) {
      TIniGT ini;
      ini.Loaded();
      TWindowPlacement placement{};
      placement.showCmd = 1;
      placement.left = stored.left();
      placement.top = stored.top();
      placement.right = stored.left() + stored.width();
      placement.bottom = stored.top() + stored.height();
      ini.SavePlacement("window", "main", placement);
    }
    TApplicationModules modules;
    StartWindow(modules);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed = modules.Form1()->geometry();
    if (centred) {
      QVERIFY2(std::abs(placed.center().x() - screen.center().x()) <= 1, qPrintable(QString::number(placed.x())));
      QVERIFY(placed.top() >= screen.top() + 16);
    } else {
      QCOMPARE(placed.top(), top);
      QCOMPARE(placed.size(), stored.size());
    }
  }
};

QTEST_MAIN(WindowRepairTest)
#include "window_repair_test.moc"
