// The update panel of the main window on the offscreen platform: a check
// over two sites, the panel site by site, uploading the ticked rows to a
// real FTP server, Cancel, the "nothing changed" message, and saving the
// managed file list when the application loses the focus.
#include <unistd.h>

#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>

#include "app/WebSightEdit00.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "ftp/dmFtp.h"
#include "platform/encoding.h"
#include "support/pyftpd_server.h"
#include "update/update_check.h"
#include "update_panel_support.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const char* const kNothingFound = "更新されたファイルは検出されませんでした。";
}  // namespace

class UpdatePanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void ticksUploadSiteBySite() {
    test::TempDir remotes;
    remotes.Write("a/.keep", "");
    remotes.Write("b/.keep", "");
    test::PyFtpdServer serverA(remotes.Sub("a"));
    test::PyFtpdServer serverB(remotes.Sub("b"));
    TwoSites fx(serverA.Port(), serverB.Port());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));

    SetWriteTime(fx.A("index.html"), kEdited);
    SetWriteTime(fx.A("sub/page.htm"), kEdited);
    SetWriteTime(fx.dir.Write("siteB/new.html", "<p>new</p>"), kSaved);  // new, though not newer
    SetWriteTime(fx.B("style.css"), kEdited);                            // no page: never listed

    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("index.html"), fx.A("sub/page.htm")}));
    QCOMPARE(modules.Ftp().HostInfo.Port, serverA.Port());
    QVERIFY(TMessageBoxes::TakeShown().empty());

    Tick(form, fx.A("sub/page.htm"));
    TOVRA_CHECKED(UploadTicked(form));
    QCOMPARE(ReadFileBytes(JoinPath(remotes.Sub("a"), "sub/page.htm")), std::string("<p>siteA/sub/page.htm</p>"));
    QVERIFY(!FileExists(JoinPath(remotes.Sub("a"), "index.html")));  // not ticked

    // After the run the next site's files show, on that site's server.
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトB", {fx.B("new.html")}));
    QCOMPARE(modules.Ftp().HostInfo.Port, serverB.Port());
    Tick(form, fx.B("new.html"));
    TOVRA_CHECKED(UploadTicked(form));
    QCOMPARE(ReadFileBytes(JoinPath(remotes.Sub("b"), "new.html")), std::string("<p>new</p>"));
    QVERIFY(!FileExists(JoinPath(remotes.Sub("a"), "new.html")));

    // After the last site everything is back.
    TOVRA_CHECKED(ExpectNormalView(form));
    QStringList memo = form->Memo1->toPlainText().split('\n');
    QCOMPARE(memo.count(QStr("転送完了")), 2);
    QVERIFY(memo.contains(QStr("page.htm 転送中")));
    QVERIFY(memo.contains(QStr("new.html 転送中")));
    QVERIFY(!memo.contains(QStr("index.html 転送中")));

    // The list saved when the focus goes keeps the page that was never
    // ticked pending; the pages sent are not listed again.
    form->ApplicationEvents1Deactivate();
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("index.html")}));
    form->btUpdateCancel->click();
    form->ApplicationEvents1Deactivate();
    form->btnUpdateCheck->click();  // cancelled, not sent: still pending
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("index.html")}));
  }

  void siteControlsAreLockedWhileAnUploadRuns() {
    test::TempDir remotes;
    remotes.Write("a/.keep", "");
    test::PyFtpdServer server(remotes.Sub("a"));
    TwoSites fx(server.Port(), server.Port());
    SetWriteTime(fx.dir.Write("siteA/gone.html", "<img src=\"missing.gif\">"), kSaved);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.A("gone.html"), kEdited);
    SetWriteTime(fx.B("top.htm"), kEdited);
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html"), fx.A("gone.html")}));

    // A preparation the user stops keeps the panel as it was.
    Tick(form, fx.A("gone.html"));
    test::ClickInModal("btnAbort");
    form->BitBtn1->click();
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(form->Panel8->isVisible());
    QCOMPARE(CheckedRows(form), std::vector<std::string>{fx.A("gone.html")});
    QVERIFY(!form->ComboBox1->isEnabled());
    QVERIFY(form->btUpdateCancel->isEnabled());
    QVERIFY(form->btnUpdateCheck->isEnabled());

    // While the run sends the files nothing switches the site under it: a
    // Cancel would show the next site and the end of the run skip it.
    Tick(form, fx.A("gone.html"), Qt::Unchecked);
    Tick(form, fx.A("news.html"));
    QSignalSpy finished(form, &TForm1::RunFinished);
    form->BitBtn1->click();
    for (QWidget* w :
         std::initializer_list<QWidget*>{form->btUpdateCancel, form->btnUpdateCheck, form->ComboBox1, form->Button3})
      QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    form->btUpdateCancel->click();
    form->btnUpdateCheck->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトB", {fx.B("top.htm")}));
    QVERIFY(form->btUpdateCancel->isEnabled());
    QVERIFY(form->btnUpdateCheck->isEnabled());
    QVERIFY(FileExists(JoinPath(remotes.Sub("a"), "news.html")));
    form->btUpdateCancel->click();
    TOVRA_CHECKED(ExpectNormalView(form));

    // Outside the panel too: the site selector and the edit button wait for the run.
    QCOMPARE(form->JamShellTree1->SelectedFolder(), fx.rootB);  // the panel showed B last
    QTRY_COMPARE(form->JamShellList1->ShownNames(), std::vector<std::string>{"top.htm"});
    form->JamShellList1->SelectNames({"top.htm"});
    form->BitBtn1->click();
    QVERIFY(!form->ComboBox1->isEnabled());
    QVERIFY(!form->Button3->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
    for (QWidget* w :
         std::initializer_list<QWidget*>{form->btUpdateCancel, form->btnUpdateCheck, form->ComboBox1, form->Button3})
      QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
  }

  void uploadWithNothingTickedMovesOn() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.B("movie.swf"), kEdited);
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
    form->BitBtn1->click();  // an empty preparation: nothing to send
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトB", {fx.B("movie.swf")}));
    QVERIFY(form->BitBtn1->isEnabled());
  }

  void cancelMovesToTheNextSiteAndEndsInTheNormalView() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.B("top.htm"), kEdited);
    SetWriteTime(fx.B("movie.swf"), kEdited);
    std::string memoBefore = ToCp932(form->Memo1->toPlainText());

    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
    form->btnUpdateCheck->click();  // again while the panel shows: no file comes twice
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
    Tick(form, fx.A("news.html"));  // ticked, then cancelled: nothing is sent
    form->btUpdateCancel->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトB", {fx.B("top.htm"), fx.B("movie.swf")}));
    form->btUpdateCancel->click();
    TOVRA_CHECKED(ExpectNormalView(form));
    QCOMPARE(ToCp932(form->Memo1->toPlainText()), memoBefore);
    QVERIFY(form->UpdateCheck().PendingUpdates().Empty());

    // Cancelled files are still newer than the saved list: a new check finds
    // them again, once each.
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
  }

  void onlyTheSecondSiteChanged() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    SetWriteTime(fx.A("index.html"), kSaved - 3600);  // a time going back is no change
    SetWriteTime(fx.B("top.htm"), kEdited);
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトB", {fx.B("top.htm")}));
    form->btUpdateCancel->click();
    TOVRA_CHECKED(ExpectNormalView(form));
    // The selector shows the site the panel showed last.
    QCOMPARE(ToCp932(form->ComboBox1->currentText()), std::string("サイトB"));
    QCOMPARE(form->CurrentSiteRoot, fx.rootB);
  }

  void nothingChangedShowsTheMessage_data() {
    QTest::addColumn<bool>("withBaseline");
    QTest::newRow("saved list, no edits") << true;
    QTest::newRow("first start, no saved list") << false;
  }
  void nothingChangedShowsTheMessage() {
    QFETCH(bool, withBaseline);
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    if (withBaseline) {
      TOVRA_CHECKED(SaveBaseline(form));
      SetWriteTime(fx.A("index.html"), kSaved + 1);  // inside the same two-second step
      QVERIFY(DeleteFile(fx.A("news.html")));        // a deleted file is not reported
    } else {
      SetWriteTime(fx.dir.Write("siteA/later.html", ""), kEdited);  // nothing to compare with yet
    }
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
    QVERIFY(form->Panel8->isHidden());
    QVERIFY(form->JamShellTree1->isVisible());
    QVERIFY(form->ComboBox1->isEnabled());
    QVERIFY(!form->btnWebCheck->isEnabled());  // the panel never opened: still per selection
    QCOMPARE(ToCp932(form->ComboBox1->currentText()), std::string("サイトA"));
    QCOMPARE(FileExists(ManagedFileListPath()), withBaseline);  // a check does not write the list
  }

  void aSiteWhoseRootIsGoneIsPassedOver() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    std::string saved = ReadFileBytes(ManagedFileListPath());
    SetWriteTime(fx.A("news.html"), kEdited);
    for (const char* f : {"top.htm", "movie.swf", "style.css"}) QVERIFY(DeleteFile(fx.B(f)));
    QVERIFY(::rmdir(ToOsPath(fx.rootB).c_str()) == 0);
    const std::string error = "パス設定エラー : \"" + fx.rootB + "\"";

    // The other site is checked; one memo line names the one passed over.
    form->btnUpdateCheck->click();
    QVERIFY(TMessageBoxes::TakeShown().empty());
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
    const QStringList named = MemoLines(form).filter(QStr("「サイトB」"));
    QCOMPARE(named.size(), 1);
    QVERIFY2(named[0].endsWith(QStr(error)), qPrintable(named[0]));
    QCOMPARE(modules.SightEdit()->Profile().LocalRootDir, fx.rootA);
    form->btUpdateCancel->click();

    // Losing the focus saves without a word; the site passed over keeps its
    // saved rows for the day its folder is back.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(TMessageBoxes::TakeShown().empty());
    const std::string now = ReadFileBytes(ManagedFileListPath());
    for (const std::string& row : {std::string("サイトB?$B?0\r\n"), fx.B("top.htm") + "?$B?"})
      QVERIFY2(now.find(row) != std::string::npos && saved.find(row) != std::string::npos, row.c_str());
  }

  void onlyTheNewEntryShowsTheMessage() {
    AppFolderFixture fx;
    test::WhenModal([](QWidget* modal) { modal->findChild<QPushButton*>("Button2")->click(); });
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
    QVERIFY(form->Panel8->isHidden());
  }

  void deactivationSavesTheListUnlessThePanelOrDialogShows() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    const std::string list = ManagedFileListPath();

    // The site dialog showing: nothing is written.
    bool deactivatedInDialog = false;
    test::WhenModal([&](QWidget* modal) {
      form->ApplicationEvents1Deactivate();
      deactivatedInDialog = true;
      modal->findChild<QPushButton*>("Button2")->click();
    });
    form->Button3->click();
    QVERIFY(deactivatedInDialog);
    QVERIFY(!FileExists(list));

    // The application losing the focus writes the list.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(FileExists(list));
    std::string saved = ReadFileBytes(list);
    QVERIFY(saved.starts_with("サイトA?$B?0\r\n"));
    QVERIFY(saved.find("\r\nサイトB?$B?0\r\n") != std::string::npos);
    QVERIFY(saved.find(fx.A("news.html") + "?$B?") != std::string::npos);

    // With the panel showing, the saved list stays the baseline.
    SetWriteTime(fx.A("news.html"), kEdited);
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
    form->ApplicationEvents1Deactivate();
    QCOMPARE(ReadFileBytes(list), saved);
    form->btUpdateCancel->click();

    // Cancelled, not sent: the next deactivation keeps its old time, and
    // the next check lists it again.
    form->ApplicationEvents1Deactivate();
    QCOMPARE(ReadFileBytes(list), saved);
    form->btnUpdateCheck->click();
    TOVRA_CHECKED(ExpectPanelFor(form, "サイトA", {fx.A("news.html")}));
  }

  void closingSavesTheListEvenWithThePanelShowing() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    TOVRA_CHECKED(SaveBaseline(form));
    SetWriteTime(fx.A("news.html"), kEdited);
    form->btnUpdateCheck->click();
    QVERIFY(form->Panel8->isVisible());
    form->close();
    modules.DestroyWindow();
    // The pending file was never sent: the next start lists it again.
    TApplicationModules again;
    StartWindow(again);
    again.Form1()->btnUpdateCheck->click();
    QVERIFY(TMessageBoxes::TakeShown().empty());
    TOVRA_CHECKED(ExpectPanelFor(again.Form1(), "サイトA", {fx.A("news.html")}));
  }
};

QTEST_MAIN(UpdatePanelTest)
#include "update_panel_test.moc"
