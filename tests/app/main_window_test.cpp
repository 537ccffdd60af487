// The desktop window on the offscreen platform: start-up, site selection,
// the folder tree confined to the site, the web check button, the site
// dialog, closing, and a whole upload against a real FTP server.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "ftp/dmFtp.h"
#include "gui_test_support.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "sites/site_list.h"
#include "support/pyftpd_server.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::ClickInModal;
using tovra::test::MemoLines;
using tovra::test::StartWindow;
using tovra::test::WhenModal;

namespace {

std::string Cp(const QString& text) { return ToCp932(text); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void startupHidesTheEightControlsAndShowsTheSite() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/index.html", "<p>x</p>");
    fx.AddSite("サイトA", root);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox3, form->btnSubPGM, form->ComboBox2, form->cxOnly,
                                                      form->cxAncher, form->cxFlashSOE, form->cxPopup,
                                                      form->cxTopBunner, form->Panel8})
      QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QCOMPARE(Cp(form->ComboBox1->currentText()), std::string("サイトA"));
    QCOMPARE(form->ComboBox1->count(), 2);
    QCOMPARE(form->JamShellTree1->SelectedFolder(), root);
    QCOMPARE(form->CurrentSiteRoot, root);
    QCOMPARE(modules.Ftp().HostInfo.Port, 21);
    QCOMPARE(form->windowTitle(), QStr("☆ホームページアップローダ      Tovra"));
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(!form->btnAbort->isEnabled());
    QCOMPARE(form->Memo1->toPlainText(), QStr("ファイル転送ステータス"));
  }

  void firstStartOpensTheSiteDialog() {
    AppFolderFixture fx;
    bool opened = false;
    WhenModal([&](QWidget* modal) {
      opened = modal->objectName() == "frmSightEdit";
      // Meanwhile tovra-cli, another process, creates the first site.
      WriteFileAtomic(SiteListFileName(), "CLI\r\n新規登録\r\n");
      modal->findChild<QPushButton*>("Button2")->click();
    });
    TApplicationModules modules;
    StartWindow(modules);
    QTRY_VERIFY(opened);
    QCOMPARE(modules.Form1()->ComboBox1->count(), 1);
    QCOMPARE(Cp(modules.Form1()->ComboBox1->itemText(0)), std::string("新規登録"));
    // The window's list, saved as it closes, keeps the site it never saw.
    modules.Form1()->close();
    modules.DestroyWindow();
    QCOMPARE(ReadFileBytes(SiteListFileName()), std::string("CLI\r\n新規登録\r\n"));
  }

  void anApplicationFolderOthersCanWriteIsNamedInTheMemo() {
    AppFolderFixture fx;
    fx.AddSite("サイトA", fx.dir.Sub("site"));
    QCOMPARE(::chmod(ToOsPath(fx.app).c_str(), 0777), 0);
    TApplicationModules modules;
    StartWindow(modules);
    const QStringList lines = MemoLines(modules.Form1());
    QCOMPARE(lines.filter(QStr("警告: アプリケーションフォルダー " + fx.app)).size(), 1);
  }

  void siteListStartingWithTheNewEntryOpensTheDialog() {
    AppFolderFixture fx;
    fx.AddSite("サイトA", fx.dir.Sub("site") + "");
    SaveSiteList(TStringList{"新規登録", "サイトA"});
    bool opened = false;
    WhenModal([&](QWidget* modal) {
      opened = true;
      modal->findChild<QPushButton*>("Button2")->click();
    });
    TApplicationModules modules;
    StartWindow(modules);
    QTRY_VERIFY(opened);
    QVERIFY(modules.Form1()->CurrentSiteRoot.empty());  // no profile applied
  }

  void emptyMaskFileKeepsTheFilter() {
    AppFolderFixture fx;
    fx.dir.Write("site/a.html", "");
    fx.AddSite("S", fx.dir.Sub("site"));
    fx.dir.Write("app/ファイルマスク.txt", "");
    TApplicationModules modules;
    StartWindow(modules);
    QCOMPARE(modules.Form1()->ComboBox2->count(), 0);
    QCOMPARE(modules.Form1()->JamShellList1->Filter(), std::string("*.htm*"));
  }

  void folderOutsideTheRootIsRefused() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/sub/a.html", "");
    fx.dir.Write("other/b.html", "");
    fx.dir.Write("site2/c.html", "");
    fx.AddSite("サイトA", root);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    form->JamShellTree1->SetSelectedFolder(root + "/sub");
    QCOMPARE(form->JamShellTree1->SelectedFolder(), root + "/sub");
    // A sibling whose name begins with the root's name is outside it too.
    for (const char* outside : {"other", "site2"}) {
      form->JamShellTree1->SetSelectedFolder(root + "/sub");
      TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
      form->JamShellTree1->SetSelectedFolder(fx.dir.Sub(outside));
      QCOMPARE(form->JamShellTree1->SelectedFolder(), root);
      auto shown = TMessageBoxes::TakeShown();
      QCOMPARE(shown.size(), size_t(1));
      QCOMPARE(shown[0], std::string("サイトAはそのフォルダーを参照できません"));
    }
  }

  void webCheckNeedsExactlyOnePage() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    for (const char* name : {"a.html", "b.htm", "C.HTM"}) fx.dir.Write(std::string("site/") + name, "");
    fx.AddSite("S", root, 21, "http://example.jp/~u/");
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames().size(), size_t(3));
    struct Case {
      std::vector<std::string> names;
      bool enabled;
    } cases[] = {{{"a.html"}, true}, {{"C.HTM"}, false}, {{"a.html", "b.htm"}, false}, {{"b.htm"}, true}};
    for (const auto& c : cases) {
      form->JamShellList1->SelectNames(c.names);
      QCOMPARE(form->btnWebCheck->isEnabled(), c.enabled);
    }
    std::vector<std::string> opened;
    form->UrlOpener = [&](const std::string& url) { opened.push_back(url); };
    form->btnWebCheck->click();
    QCOMPARE(opened, std::vector<std::string>{"http://example.jp/~u/b.htm"});
  }

  void closingWritesTheSiteListWithTheNewEntryLast() {
    AppFolderFixture fx;
    fx.AddSite("S", fx.dir.Sub("site"));
    SaveSiteList(TStringList{"S", "新規登録"});
    WriteFileAtomic(SiteListFileName(), "S\n新規登録");  // no CR LF: rewritten anyway
    TApplicationModules modules;
    StartWindow(modules);
    modules.Form1()->close();
    modules.DestroyWindow();
    QCOMPARE(ReadFileBytes(SiteListFileName()), std::string("S\r\n新規登録\r\n"));
    QVERIFY(FileExists(JoinPath(fx.app, "管理ファイルリスト.txt")));
  }

  void siteDialogCreatesRenamesRefusesAndDeletes() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/a.html", "");
    fx.AddSite("abc", root);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TfrmSightEdit* dialog = modules.SightEdit();

    // Create: pick the new entry, fill the dialog, OK.
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Select();
    WhenModal([&](QWidget*) {
      dialog->edName->setText(QStr("新サイト"));
      dialog->ShellTreeView1->SetSelectedFolder(root);
      dialog->WebHostName->setText("127.0.0.1");
      dialog->Button1->click();
    });
    form->Button3->click();
    QCOMPARE(Cp(form->ComboBox1->itemText(1)), std::string("新サイト"));
    QCOMPARE(Cp(form->ComboBox1->itemText(2)), std::string("新規登録"));
    QVERIFY(FileExists(ProfileFileName("新サイト")));

    // Naming a site "新規登録" is refused; the dialog stays open until Cancel.
    form->ComboBox1->setCurrentIndex(0);
    form->ComboBox1Select();
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    WhenModal([&](QWidget*) {
      dialog->edName->setText(QStr("新規登録"));
      dialog->Button1->click();
      QVERIFY(dialog->isVisible());
      dialog->Button2->click();
    });
    form->Button3->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{"サイト名称に「新規登録」は使えません。"});

    // Renaming abc to ABC: confirmed first, then refused as in use.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    WhenModal([&](QWidget*) {
      dialog->edName->setText("ABC");
      dialog->Button1->click();
      dialog->Button2->click();
    });
    form->Button3->click();
    auto shown = TMessageBoxes::TakeShown();
    QCOMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[0], std::string("サイト名称「abc」を「ABC」に変更します。"));
    QCOMPARE(shown[1], std::string("サイト名称「ABC」は使用済みです。"));
    QVERIFY(FileExists(ProfileFileName("abc")));

    // Deleting: an emptied name, confirmed.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    WhenModal([&](QWidget*) {
      dialog->edName->setText(QStr("　 "));
      dialog->Button1->click();
    });
    form->Button3->click();
    QVERIFY(!FileExists(ProfileFileName("abc")));
    QCOMPARE(form->ComboBox1->count(), 2);
    QCOMPARE(Cp(form->ComboBox1->currentText()), std::string("新サイト"));
  }

  void wholeUploadThroughTheWindow() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    std::string remote = fx.dir.Sub("remote");
    fx.dir.Write("remote/.keep", "");
    fx.dir.Write("site/index.html", "<img src=\"img/a.gif\"><img src=\"img/gone.gif\">");
    fx.dir.Write("site/img/a.gif", "GIF89a");
    test::PyFtpdServer server(remote);
    fx.AddSite("S", root, server.Port());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames().size(), size_t(1));
    form->JamShellList1->SelectNames({"index.html"});
    QSignalSpy finished(form, &TForm1::RunFinished);
    ClickInModal("btnContinue");
    form->BitBtn1->click();
    QVERIFY(!form->BitBtn1->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Completed));
    QStringList expected = {QStr("ファイル転送ステータス"),
                            QStr("依存ファイル確認中"),
                            QStr("Uploas cancel files"),
                            QStr(root + "/img/gone.gif"),
                            QStr("Uploadファイル確定"),
                            QStr(root + "/index.html"),
                            QStr(root + "/img/a.gif"),
                            QStr("*********************"),
                            QStr("index.html 転送中"),
                            QStr("a.gif 転送中"),
                            QStr("転送完了")};
    QCOMPARE(MemoLines(form), expected);
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(!form->btnAbort->isEnabled());
    QCOMPARE(ReadFileBytes(JoinPath(remote, "img/a.gif")), std::string("GIF89a"));
  }

  void abortButtonStopsARun() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    std::string remote = fx.dir.Sub("remote");
    fx.dir.Write("remote/.keep", "");
    for (int i = 0; i < 30; ++i) fx.dir.Write("site/p" + std::to_string(100 + i) + ".htm", "<p>x</p>");
    test::PyFtpdServer server(remote);
    fx.AddSite("S", root, server.Port());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames().size(), size_t(30));
    form->JamShellList1->selectAll();
    QSignalSpy finished(form, &TForm1::RunFinished);
    // Pressed the moment the run enables it, as a quick user would.
    bool pressed = false;
    test::OnEnabled(form->btnAbort, [&] {
      if (!pressed && form->btnAbort->isEnabled()) {
        pressed = true;
        form->btnAbort->click();
      }
    });
    form->BitBtn1->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QVERIFY(pressed);
    QStringList lines = MemoLines(form);
    QVERIFY2(lines.contains(QStr("転送中断")) || lines.last().startsWith(QStr("転送エラー")),
             qPrintable(lines.join('|')));
    QVERIFY(!lines.contains(QStr("転送完了")));
    QVERIFY(ListFolder(remote).size() < 30);
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(!form->btnAbort->isEnabled());
  }

  void siteControlsAreLockedDuringARun() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    std::string remote = fx.dir.Sub("remote");
    fx.dir.Write("remote/.keep", "");
    for (int i = 0; i < 20; ++i) fx.dir.Write("site/p" + std::to_string(100 + i) + ".htm", "<p>x</p>");
    test::PyFtpdServer server(remote);
    fx.AddSite("S", root, server.Port());
    fx.AddSite("T", fx.dir.Sub("other"), 2121);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_COMPARE(form->JamShellList1->ShownNames().size(), size_t(20));
    form->JamShellList1->selectAll();
    QSignalSpy finished(form, &TForm1::RunFinished);
    bool seen = false, locked = false;
    test::OnEnabled(form->btnAbort, [&] {
      if (seen || !form->btnAbort->isEnabled()) return;
      seen = true;
      locked = !form->ComboBox1->isEnabled() && !form->Button3->isEnabled() && !form->btnUpdateCheck->isEnabled();
    });
    form->BitBtn1->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QVERIFY(seen);
    QVERIFY(locked);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Completed));
    QCOMPARE(ListFolder(remote).size(), size_t(21));
    QVERIFY(form->ComboBox1->isEnabled());
    QVERIFY(form->Button3->isEnabled());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
